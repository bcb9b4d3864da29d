% trough_points  Position of the smallest value in the window around every pixel.
%
%   [RI, RJ] = trough_points(V, R)
%
%   For every pixel at least R rows and columns away from the border, searches the
%   (2R+1)-by-(2R+1) window centred on it, column by column and top to bottom, for the
%   smallest value below 2147483647, and returns its 1-based row and column. Only a strictly
%   smaller value replaces the best so far, so among equal minima the leftmost, then the
%   topmost, wins. A pixel whose own position comes back is a local minimum of V.
%
%   Inputs
%     V  M-by-N double: the field searched.
%     R  double, at least one element: the window radius is its first element, truncated
%        towards zero (beyond the 32-bit range it is clamped to it; a value that is not a
%        number searches no window).
%
%   Outputs
%     RI, RJ  M-by-N double: 1-based row and column of the window minimum; 0 for pixels too
%             close to the border, for R < 0, and where no value lies below 2147483647.
%
%   Errors
%     "Too few inputs: K given, 2 expected (V, r)."
%     "Input K (NAME) must be a real double array, not complex or sparse."
%     "Too many outputs: K requested, at most 2 returned."
%     "Input 2 (r) must not be empty."
%
%   Example
%     V = magic(6);
%     [Ri, Rj] = trough_points(V, 1);
%     [i, j] = ndgrid(1:6); minima = Ri == i & Rj == j;
%
%   See also sign_flip, labelGapFill.
