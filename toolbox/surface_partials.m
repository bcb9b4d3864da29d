% surface_partials  First and second partial derivatives of a height function.
%
%   [PHI_X, PHI_Y, PHI_XX, PHI_YY, PHI_XY] = surface_partials(PHI)
%
%   Central differences with unit spacing at every interior pixel (all but the first and
%   last row and column); x runs along a row (across columns), y down a column:
%     PHI_X  = (PHI(i,j+1) - PHI(i,j-1)) / 2
%     PHI_Y  = (PHI(i+1,j) - PHI(i-1,j)) / 2
%     PHI_XX = PHI(i,j+1) - 2 PHI(i,j) + PHI(i,j-1)
%     PHI_YY = PHI(i+1,j) - 2 PHI(i,j) + PHI(i-1,j)
%     PHI_XY = (PHI(i+1,j+1) + PHI(i-1,j-1) - PHI(i+1,j-1) - PHI(i-1,j+1)) / 4
%   The five outputs are the first five inputs of front_velocity.
%
%   Input
%     PHI  M-by-N double: height function.
%
%   Outputs
%     PHI_X, PHI_Y, PHI_XX, PHI_YY, PHI_XY  M-by-N double, zero on the border. Fewer than five
%     may be requested; they come in this order.
%
%   Errors
%     "Too few inputs: 0 given, 1 expected (phi)."
%     "Input 1 (phi) must be a real double array, not complex or sparse."
%     "Too many outputs: K requested, at most 5 returned."
%
%   Example
%     [px, py, pxx, pyy, pxy] = surface_partials(peaks(30));
%
%   See also front_velocity, surface_slope.
