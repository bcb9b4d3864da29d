function test_denseMotion()
% denseMotion called as a user calls it: errors in order, defaults, output shape and class,
% and the motion of generated textured frames.
  a = texture(36, 44, 3, 0, 0);
  b = texture(36, 44, 3, 0, 0);

  % Identical frames: an M-by-N-by-2 double flow of (almost) no motion, whatever K is.
  for k = [3 4]
    f = denseMotion(texture(30, 34, k, 0, 0), texture(30, 34, k, 0, 0));
    assert(strcmp(class(f), 'double') && isequal(size(f), [30 34 2]));
    assert(max(abs(f(:))) < 0.05);
  end

  % A known shift of a textured image is recovered in the interior: the second frame is the
  % first moved 3 columns right (u = 3) and 2 rows up (v = -2).
  m = 60; n = 80;
  f = denseMotion(texture(m, n, 3, 0, 0), texture(m, n, 3, 3, -2));
  u = f(12:m-12, 12:n-12, 1); v = f(12:m-12, 12:n-12, 2);
  assert(abs(mean(u(:)) - 3) < 0.2 && abs(mean(v(:)) + 2) < 0.2);
  assert(median(abs(u(:) - 3)) < 0.2 && median(abs(v(:) + 2)) < 0.2);

  % Defaults: two inputs equal the explicit 0.8, 30, 300, 5; a given sigma is used.
  c = texture(24, 28, 3, 1, 0.5);
  d = texture(24, 28, 3, 0, 0);
  assert(isequal(denseMotion(d, c), denseMotion(d, c, 0.8, 30, 300, 5)));
  assert(isequal(denseMotion(d, c, 1.5), denseMotion(d, c, 1.5, 30, 300, 5)));
  assert(~isequal(denseMotion(d, c, 1.5), denseMotion(d, c)));

  % The documented checks, in order.
  usage = 'denseMotion: INPUT: (image1, image2, sigma, alpha, beta, gamma) ';
  expect_error(@() one_output(a), usage);
  expect_error(@() one_output(a, b, 1, 2, 3, 4, 5), usage);
  expect_error(@() denseMotion(a, b, 1, 2, 3, 4, 5), usage);
  expect_error(@() denseMotion(a, b), 'denseMotion: OUTPUT: optical_flow ');
  expect_error(@() two_outputs(a, b), 'denseMotion: OUTPUT: optical_flow ');
  first = 'denseMotion: First input must be a 3-dimensional array of noncomplex doubles.';
  expect_error(@() one_output(a(:, :, 1), b), first);
  expect_error(@() one_output(single(a), b(:, :, 1)), first);
  expect_error(@() one_output(a, b(:, :, 1)), ...
    'denseMotion: Second input must be a 3-dimensional array of noncomplex doubles.');
  expect_error(@() one_output(texture(48, 64, 3, 0, 0), texture(48, 65, 3, 0, 0)), ...
    'denseMotion: Input images must have the same size !');
  expect_error(@() one_output(a, a(:, :, 1:2)), 'denseMotion: Input images must have the same size !');

  % Added refusals, after the documented checks.
  expect_error(@() one_output(a(:, :, 1:2), b(:, :, 1:2)), ...
    'denseMotion: Input images must have at least 3 channels; the colour test reads channels 1 to 3.');
  sigma = 'denseMotion: Sigma must be a finite number of at least 1e-38; smaller values leave no image to match.';
  expect_error(@() one_output(a, b, 0), sigma);
  expect_error(@() one_output(a, b, -1), sigma);
  expect_error(@() one_output(a, b, NaN), sigma);
  expect_error(@() one_output(a, b, 1e7), ...
    'denseMotion: Sigma must be at most 1e6; larger values smooth the frames into not-a-number images.');
  expect_error(@() one_output(a, b, 0.8, 0), ...
    'denseMotion: Alpha must be a finite number above 0; without smoothness the flow is undetermined.');
  expect_error(@() one_output(a, b, 0.8, 30, -1), 'denseMotion: Beta must be a finite number of 0 or more.');
  expect_error(@() one_output(a, b, []), 'denseMotion: Sigma must be a numeric scalar.');
  expect_error(@() one_output(a, b, 1, {}), 'denseMotion: Alpha must be a numeric scalar.');

  assert(~isempty(strfind(help('denseMotion'), 'optical flow')));
end

function img = texture(m, n, k, du, dv)
% An M-by-N-by-K smooth texture; (du, dv) moves it by du columns and dv rows.
  [x, y] = meshgrid((0:n-1) - du, (0:m-1) - dv);
  img = zeros(m, n, k);
  for p = 1:k
    img(:, :, p) = 128 + 60 * sin(0.31 * x + 0.17 * y + p) + 50 * cos(0.23 * y - 0.4 * x + 2 * p) ...
      + 20 * sin(0.05 * x .* (1 + 0.3 * p) - 0.07 * y);
  end
end

function one_output(varargin)
  f = denseMotion(varargin{:}); %#ok<NASGU>
end

function two_outputs(varargin)
  [f, g] = denseMotion(varargin{:}); %#ok<ASGLU>
end
