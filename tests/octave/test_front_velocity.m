function test_front_velocity()
% front_velocity through the real host: a circle's curvature slows the front; refusals.
  [x, y] = meshgrid(0:9, 0:7);
  [px, py, pxx, pyy, pxy] = surface_partials(hypot(x - 4.5, y - 3.5));
  S = 0.5 * ones(8, 10);
  F = front_velocity(px, py, pxx, pyy, pxy, S, 0 * S, 0 * S, 3);
  assert(strcmp(class(F), 'double') && isequal(size(F), [8 10]));
  assert(all(F([1 end], :)(:) == 0) && all(F(:, [1 end])(:) == 0));
  inner = F(2:end-1, 2:end-1);
  assert(all(inner(:) < 0.5) && all(inner(:) >= 0.35));
  % An outward field lowers the speed by w times its normal component.
  G = front_velocity(px, py, pxx, pyy, pxy, S, 0.1 * px, 0.1 * py, 3);
  d = 0.1 * hypot(px, py)(2:end-1, 2:end-1);
  assert(max(abs(G(2:end-1, 2:end-1)(:) - inner(:) + 3 * d(:))) < 1e-12);
  o = ones(3, 4);
  expect_error(@() front_velocity(o, o, o, o, o, sparse(o), o, o, 1), ...
    'front_velocity: Input 6 (S) must be a real double array, not complex or sparse.');
  expect_error(@() front_velocity(o, o, o, o, o, o, o, o + 1i, 1), ...
    'front_velocity: Input 8 (V) must be a real double array, not complex or sparse.');
  expect_error(@() front_velocity(o, o, o, o, o, o, ones(4, 2), o, 1), ...
    'front_velocity: Input 7 (U) has 8 elements; it must have at least the 12 of the 3-by-4 input 1.');
  expect_error(@() front_velocity(o, o, o, o, o, o, o, o, 'w'), ...
    'front_velocity: Input 9 (w) must be a numeric scalar.');
  assert(~isempty(strfind(help('front_velocity'), 'front_velocity')));
end
