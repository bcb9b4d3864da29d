function test_surface_partials()
% surface_partials through the real host: exact derivatives of a quadratic; outputs; refusals.
  [j, i] = meshgrid(0:5, 0:4);
  [px, py, pxx, pyy, pxy] = surface_partials(i .* j + j .^ 2);
  expected = {i + 2 * j, j, 2 + 0 * i, 0 * i, 1 + 0 * i};
  got = {px, py, pxx, pyy, pxy};
  for k = 1:5
    e = zeros(5, 6);
    e(2:4, 2:5) = expected{k}(2:4, 2:5);
    assert(isequal(got{k}, e), sprintf('output %d', k));
  end
  surface_partials(i);
  assert(isequal(ans, zeros(5, 6)));
  expect_error(@() surface_partials(i + 1i), ...
    'surface_partials: Input 1 (phi) must be a real double array, not complex or sparse.');
  expect_error(@() six_outputs(i), 'surface_partials: Too many outputs: 6 requested, at most 5 returned.');
  assert(~isempty(strfind(help('surface_partials'), 'surface_partials')));
end

function six_outputs(phi)
  [a, b, c, d, e, f] = surface_partials(phi); %#ok<ASGLU>
end
