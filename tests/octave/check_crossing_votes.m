function check_crossing_votes(fn, name)
% CHECK_CROSSING_VOTES  The checks shared by the two crossing-count plug-ins: fn is the plug-in, name
%   its name as it prefixes error texts.
  rand('seed', 3);
  for sz = [1 1; 1 8; 8 1; 2 2; 7 11; 11 7; 16 16]'
    for levels = [2 3 256]
      I = uint8(floor(rand(sz(1), sz(2)) * levels));
      C = fn(I);
      assert(strcmp(class(C), 'uint8') && isequal(size(C), size(I)));
      assert(isequal(C, ray_votes(I)), sprintf('%dx%d, %d levels', sz(1), sz(2), levels));
    end
  end

  % A closed outline: every pixel strictly inside scores 8.
  I = zeros(9, 12, 'uint8');
  I(2, 3:10) = 1; I(8, 3:10) = 1; I(2:8, 3) = 1; I(2:8, 10) = 1;
  C = fn(I);
  assert(all(all(C(3:7, 4:9) == 8)));

  % One interior pixel: 1 on its row, column and both diagonals, 0 elsewhere and on itself.
  I = zeros(6, 8, 'uint8'); I(3, 4) = 1;
  [r, c] = ndgrid(1:6, 1:8);
  expected = uint8(r == 3 | c == 4 | r - c == -1 | r + c == 7);
  expected(3, 4) = 0;
  assert(isequal(fn(I), expected));

  % Falling or flat in every scan direction: no votes.
  assert(isequal(fn(uint8(200 - 10 * (r + c))), zeros(6, 8, 'uint8')));

  % No output requested: the votes become ans.
  fn(I);
  assert(isequal(ans, expected));

  % Empty images give empty results of their own size.
  assert(isequal(size(fn(zeros(0, 5, 'uint8'))), [0 5]));
  assert(strcmp(class(fn(zeros(5, 0, 'uint8'))), 'uint8'));

  p = [name ': '];
  expect_error(@() fn(), [p 'Invalid number of input arguments']);
  expect_error(@() fn(I, I), [p 'Invalid number of input arguments']);
  expect_error(@() fn(double(I)), [p 'Input matrix must be of type uint8']);
  expect_error(@() fn(I > 0), [p 'Input matrix must be of type uint8']);
  expect_error(@() two_outputs(fn, I), [p 'Invalid number of output arguments']);
  expect_error(@() fn(zeros(2, 2, 2, 'uint8')), [p 'Input matrix must be 2-dimensional']);
  expect_error(@() fn(zeros(32768, 1, 'uint8')), ...
    [p 'Input matrix is 32768-by-1; at most 32767 rows and 32767 columns are supported.']);
  expect_error(@() fn(zeros(1, 32768, 'uint8')), ...
    [p 'Input matrix is 1-by-32768; at most 32767 rows and 32767 columns are supported.']);

  assert(~isempty(strfind(help(name), 'eight')));
end

function two_outputs(fn, I)
  [a, b] = fn(I); %#ok<ASGLU>
end

function O = ray_votes(I)
% Walks the eight rays of every pixel. For each scan step s, the forward ray counts the rises
% from the pixel to the border, the backward ray those among the pixels strictly before it.
  [M, N] = size(I);
  I = double(I);
  O = zeros(M, N, 'uint8');
  steps = [0 1; 1 0; 1 1; -1 1];
  for i = 1:M
    for j = 1:N
      total = 0;
      for k = 1:4
        s = steps(k, :);
        fwd = 0; a = i; b = j;
        while inside(a + s(1), b + s(2), M, N)
          fwd = fwd + (I(a, b) < I(a + s(1), b + s(2)));
          a = a + s(1); b = b + s(2);
        end
        bwd = 0; a = i - s(1); b = j - s(2);
        while inside(a - s(1), b - s(2), M, N)
          bwd = bwd + (I(a - s(1), b - s(2)) < I(a, b));
          a = a - s(1); b = b - s(2);
        end
        total = total + mod(fwd, 2) + mod(bwd, 2);
      end
      O(i, j) = total;
    end
  end
end

function t = inside(a, b, M, N)
  t = a >= 1 && a <= M && b >= 1 && b <= N;
end
