% sign_flip  One-pixel-wide map of the zero level set of a field.
%
%   Z = sign_flip(PHI)
%
%   For every pair of 8-neighbours where one value is non-negative (PHI >= 0) and the other
%   negative, marks the one closer to zero; on a tie, the non-negative one. Border pixels
%   take part; a value that is not a number is neither sign.
%
%   Input
%     PHI  M-by-N double.
%
%   Output
%     Z  M-by-N logical, true at the marked pixels.
%
%   Errors
%     "Too few inputs: 0 given, 1 expected (phi)."
%     "Input 1 (phi) must be a real double array, not complex or sparse."
%     "Too many outputs: K requested, at most 1 returned."
%
%   Example
%     sign_flip([0.5 -0.2])        % returns [false true]
%     sign_flip([1 -2; -2 -0.5])   % marks the top-left and bottom-right pixels
%
%   See also surface_partials, trough_points.
