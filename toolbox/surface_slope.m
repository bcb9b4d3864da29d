% surface_slope  Speed times the upwind gradient magnitude of a height function.
%
%   R = surface_slope(PHI, S)
%
%   At every interior pixel (all but the first and last row and column), with the one-sided
%   differences Dx- = PHI(i,j) - PHI(i,j-1), Dx+ = PHI(i,j+1) - PHI(i,j) and likewise along
%   the rows,
%     R = min(S,0) sqrt(min(Dy-,0)^2 + max(Dy+,0)^2 + min(Dx-,0)^2 + max(Dx+,0)^2)
%       + max(S,0) sqrt(max(Dy-,0)^2 + min(Dy+,0)^2 + max(Dx-,0)^2 + min(Dx+,0)^2),
%   the first-order upwind scheme: the differences are taken on the side the front comes
%   from. Unit grid spacing; no time step is applied.
%
%   Inputs
%     PHI  M-by-N double: height function.
%     S    M-by-N double: speed; a real double array with at least M*N elements, read with
%          the layout of PHI.
%
%   Output
%     R  M-by-N double, zero on the border.
%
%   Errors
%     "Too few inputs: K given, 2 expected (phi, S)."
%     "Input K (NAME) must be a real double array, not complex or sparse."
%     "Too many outputs: K requested, at most 1 returned."
%     "Input 2 (S) has E elements; it must have at least the T of the M-by-N input 1."
%
%   Example
%     [x, y] = meshgrid(1:40);
%     phi = hypot(x - 20, y - 20) - 10;
%     phi = phi - 0.1 * surface_slope(phi, ones(40));
%
%   See also surface_partials, front_velocity.
