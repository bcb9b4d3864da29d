function test_regionLinkage()
% regionLinkage called as a user calls it: outputs, classes, shapes, counts and error texts.
  still = @(h, w) zeros(h, w, 2, 'int16');

  % Zero flow with equal maps: a diagonal of pixel counts.
  A = uint16([1 2 2; 3 2 2]);
  K = regionLinkage(still(2, 3), A, A);
  assert(strcmp(class(K), 'uint32') && isequal(size(K), [3 3]));
  assert(isequal(K, uint32(diag([1 4 1]))));

  % Largest labels 4 and 6 give a 4-by-6 matrix, whichever labels occur.
  K = regionLinkage(still(1, 2), uint16([4 4]), uint16([6 2]));
  assert(isequal(size(K), [4 6]) && K(4, 6) == 1 && K(4, 2) == 1 && sum(K(:)) == 2);

  % Given counts shape the output; labels 0 take no part.
  K = regionLinkage(still(1, 3), uint16([0 1 1]), uint16([1 0 2]), 2.5, 3);
  assert(isequal(K, uint32([0 1 0; 0 0 0])));

  % Pixels carried to row -1, row H, column -1 or column W add nothing.
  flow = still(2, 3);
  flow(1, 1, 1) = -1; flow(2, 1, 1) = 1; flow(2, 2, 2) = -2; flow(1, 3, 2) = 1; flow(2, 3, 2) = 1;
  K = regionLinkage(flow, uint16(ones(2, 3)), uint16([1 2 1; 1 1 1]));
  assert(isequal(K, uint32([0 1])));

  % Plane 1 moves along rows, plane 2 along columns.
  flow = still(2, 2);
  flow(1, 1, :) = [1 1];
  K = regionLinkage(flow, uint16([1 2; 2 2]), uint16([3 3; 3 4]));
  assert(isequal(K, uint32([0 0 0 1; 0 0 2 1])));

  % A map without rows: 0-by-0 with three inputs, N1-by-N2 zeros with five.
  assert(isequal(size(regionLinkage(still(0, 3), uint16(zeros(0, 3)), uint16([]))), [0 0]));
  assert(isequal(regionLinkage(still(0, 3), uint16(zeros(0, 3)), uint16([]), 2, 3), ...
                 zeros(2, 3, 'uint32')));

  % No outputs requested: the counts become ans.
  regionLinkage(still(1, 1), uint16(2), uint16(1));
  assert(isequal(ans, uint32([0; 1])));

  % The documented checks, in order.
  f = still(1, 2); m = uint16([1 2]);
  expect_error(@() regionLinkage(f, m, m, 2), ...
    'regionLinkage: Invalid number of input arguments');
  expect_error(@() regionLinkage(double(f), m, m), ...
    'regionLinkage: Flow matrix must be of type int16');
  expect_error(@() regionLinkage(f, uint32(m), m), ...
    'regionLinkage: Super pixel label map must be of type uint16');
  expect_error(@() regionLinkage(f, m, double(m)), ...
    'regionLinkage: Super pixel label map must be of type uint16');
  expect_error(@() regionLinkage(f, m, m, 2, uint16(2)), ...
    'regionLinkage: Number of superpixels must be of type double');
  expect_error(@() two_outputs(f, m), ...
    'regionLinkage: Invalid number of output arguments');
  expect_error(@() regionLinkage(int16([0 0 0 0]), m, m), ...
    'regionLinkage: Flow matrix must be 3-dimensional');
  expect_error(@() regionLinkage(f, uint16(ones(1, 2, 2)), m), ...
    'regionLinkage: Super pixel label map must be 2-dimensional');

  % Input that would leave the arrays is refused with its own text.
  expect_error(@() regionLinkage(f, m, m, -1, 2), ...
    'regionLinkage: Number of superpixels must be between 0 and 2147483647.');
  expect_error(@() regionLinkage(f, m, m, [], 2), ...
    'regionLinkage: Number of superpixels must not be empty.');
  expect_error(@() regionLinkage(still(1, 1), m, m), ...
    'regionLinkage: Flow matrix has 2 elements, fewer than the 1-by-2-by-2 of the label maps.');
  expect_error(@() regionLinkage(f, m, uint16(1)), ...
    'regionLinkage: Second super pixel label map has 1 elements, fewer than the 1-by-2 of the first.');
  expect_error(@() regionLinkage(f, uint16([1 3]), m, 2, 2), ...
    'regionLinkage: Label 3 at element 2 of the first super pixel label map exceeds the number of superpixels 2.');
  expect_error(@() regionLinkage(f, m, uint16([1 3]), 2, 2), ...
    'regionLinkage: Label 3 at element 2 of the second super pixel label map exceeds the number of superpixels 2.');

  assert(~isempty(strfind(help('regionLinkage'), 'regionLinkage')));
end

function two_outputs(f, m)
  [K, L] = regionLinkage(f, m, m); %#ok<ASGLU>
end
