function test_surface_slope()
% surface_slope through the real host: upwind gradients of a cone; refusals.
  [x, y] = meshgrid(0:8, 0:6);
  phi = abs(x - 4) + abs(y - 3);
  % An outward front sees the backward differences: 1 along each axis off the centre lines.
  expected = zeros(7, 9);
  expected(2:6, 2:8) = sqrt((x(2:6, 2:8) ~= 4) + (y(2:6, 2:8) ~= 3));
  assert(isequal(surface_slope(phi, ones(7, 9)), expected));
  % An inward front at the apex, a strict minimum, sees all four differences.
  assert(surface_slope(phi, -2 * ones(7, 9))(4, 5) == -4);
  expect_error(@() surface_slope(phi, sparse(phi)), ...
    'surface_slope: Input 2 (S) must be a real double array, not complex or sparse.');
  expect_error(@() surface_slope(phi, phi(1:6, :)), ...
    'surface_slope: Input 2 (S) has 54 elements; it must have at least the 63 of the 7-by-9 input 1.');
  assert(~isempty(strfind(help('surface_slope'), 'surface_slope')));
end
