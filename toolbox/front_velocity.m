% front_velocity  Speed of a level-set front: curvature-damped speed minus a flux term.
%
%   F = front_velocity(PHI_X, PHI_Y, PHI_XX, PHI_YY, PHI_XY, S, U, V, W)
%
%   At every interior pixel (all but the first and last row and column),
%     kappa = (PHI_Y^2 PHI_XX - 2 PHI_X PHI_Y PHI_XY + PHI_X^2 PHI_YY) / (|grad|^3 + 1e-16)
%   limited to [-1, 1] (a curvature that is not a number counts as 1), the unit normal
%   n = (PHI_X, PHI_Y) / (|grad| + 1e-16), the flux d = max(n . (U, V), 0), and
%     F = (1 - 0.3 kappa) S - W d,
%   limited to [-1, 1].
%
%   Inputs
%     PHI_X, PHI_Y    M-by-N double: first derivatives of the height function along a row
%                     and along a column (the first two outputs of surface_partials).
%     PHI_XX, PHI_YY  M-by-N double: second derivatives along a row and along a column.
%     PHI_XY          M-by-N double: mixed second derivative.
%     S               M-by-N double: base speed.
%     U, V            M-by-N double: horizontal and vertical components of a vector field.
%     W               numeric scalar: weight of the flux term.
%   Inputs 2 to 8 must be real double arrays with at least the M*N elements of PHI_X; they
%   are read with its layout. Inputs after the ninth are ignored.
%
%   Output
%     F  M-by-N double, in [-1, 1], zero on the border.
%
%   Errors
%     "Too few inputs: K given, 9 expected (phi_x, phi_y, phi_xx, phi_yy, phi_xy, S, U, V, w)."
%     "Input K (NAME) must be a real double array, not complex or sparse."
%     "Too many outputs: K requested, at most 1 returned."
%     "Input K (NAME) has E elements; it must have at least the T of the M-by-N input 1."
%     "Input 9 (w) must be a numeric scalar."
%
%   Example
%     [x, y] = meshgrid(1:40);
%     phi = hypot(x - 20, y - 20) - 10;
%     [px, py, pxx, pyy, pxy] = surface_partials(phi);
%     F = front_velocity(px, py, pxx, pyy, pxy, ones(40), zeros(40), zeros(40), 1);
%
%   See also surface_partials, surface_slope, sign_flip.
