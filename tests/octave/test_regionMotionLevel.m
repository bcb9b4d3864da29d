function test_regionMotionLevel()
% regionMotionLevel called as a user calls it: outputs, classes, shapes, and every error text.
  % 2-by-3 frame: label 1 moves by (3, 4) everywhere, label 2 by (0, -2), label 0 is skipped.
  labels = uint16([1 1 0; 2 2 7]);
  flow = int16(cat(3, [3 3 100; 0 0 6], [4 4 100; -2 -2 8]));
  level = regionMotionLevel(flow, labels);
  assert(strcmp(class(level), 'single') && isequal(size(level), [7 1]));
  assert(isequal(level, single([5; 2; 0; 0; 0; 0; 10])));

  % A given count is truncated toward zero and fixes the number of rows.
  level = regionMotionLevel(flow, labels, 9.7);
  assert(isequal(size(level), [9 1]) && all(level(8:9) == 0));

  % An empty map gives an empty column; with no output the result becomes ans.
  assert(isequal(size(regionMotionLevel(int16(zeros(0, 3, 2)), uint16(zeros(0, 3)))), [0 1]));
  regionMotionLevel(flow, labels);
  assert(isequal(ans, single([5; 2; 0; 0; 0; 0; 10])));

  expect_error(@() regionMotionLevel(flow), ...
    'regionMotionLevel: Invalid number of input arguments');
  expect_error(@() regionMotionLevel(single(flow), uint32(labels)), ...
    'regionMotionLevel: Flow matrix must be of type int16');
  expect_error(@() regionMotionLevel(flow, uint32(labels)), ...
    'regionMotionLevel: Super pixel label map must be of type uint16');
  expect_error(@() regionMotionLevel(flow, labels, uint16(7)), ...
    'regionMotionLevel: Number of superpixels must be of type double');
  expect_error(@() two_outputs(flow, labels), ...
    'regionMotionLevel: Invalid number of output arguments');
  expect_error(@() regionMotionLevel(flow(:, :, 1), labels), ...
    'regionMotionLevel: Flow matrix must be 3-dimensional');
  expect_error(@() regionMotionLevel(flow, cat(3, labels, labels)), ...
    'regionMotionLevel: Super pixel label map must be 2-dimensional');

  % Input that would leave the arrays is refused with its own text.
  expect_error(@() regionMotionLevel(flow, labels, []), ...
    'regionMotionLevel: Number of superpixels must not be empty.');
  expect_error(@() regionMotionLevel(flow, labels, -2), ...
    'regionMotionLevel: Number of superpixels must be between 0 and 2147483647.');
  expect_error(@() regionMotionLevel(flow(:, 1:2, :), labels), ...
    'regionMotionLevel: Flow matrix has 8 elements but a 2-by-3 label map needs 12 (H-by-W-by-2).');
  expect_error(@() regionMotionLevel(flow, labels, 6), ...
    'regionMotionLevel: Label 7 at element 6 of the super pixel label map is above the number of superpixels 6.');

  assert(~isempty(strfind(help('regionMotionLevel'), 'mean flow length')));
end

function two_outputs(flow, labels)
  [a, b] = regionMotionLevel(flow, labels); %#ok<ASGLU>
end
