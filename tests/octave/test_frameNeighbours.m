function test_frameNeighbours()
% frameNeighbours called as a user calls it: outputs, classes, shapes, order, and error texts.
  blank = 'frameNeighbours:  ';

  % Rows 3 2 / 1 2: pairs (0,2), (1,2), (0,1) come out by larger index, then smaller.
  [a, b] = frameNeighbours({uint32([3 2; 1 2])}, 4);
  assert(strcmp(class(a), 'uint32') && strcmp(class(b), 'uint32'));
  assert(isequal(size(a), [3 1]) && isequal(size(b), [3 1]));
  assert(isequal([a b], uint32([0 1; 0 2; 1 2])));

  % Labels 1 and 2 meet only at a corner, in either diagonal direction.
  [a, b] = frameNeighbours({uint32([1 3; 3 2])}, 3);
  assert(isequal([a b], uint32([0 1; 0 2; 1 2])));
  [a, b] = frameNeighbours({uint32([3 1; 2 3])}, 3);
  assert(isequal([a b], uint32([0 1; 0 2; 1 2])));

  % A single label gives two 0-by-1 outputs.
  [a, b] = frameNeighbours({uint32(7 * ones(3, 4))}, 7);
  assert(isequal(size(a), [0 1]) && isequal(size(b), [0 1]) && strcmp(class(a), 'uint32'));

  % A pair found in several frames is listed once; frames are pooled.
  [a, b] = frameNeighbours({uint32([1 2]), uint32([2 1]), uint32([3 4])}, 4.5);
  assert(isequal([a b], uint32([0 1; 2 3])));

  % No outputs requested: the smaller indices become ans.
  frameNeighbours({uint32([1 2])}, 2);
  assert(isequal(ans, uint32(0)));

  % Every fault of the documented checks reports a single blank.
  good = {uint32([1 2])};
  expect_error(@() frameNeighbours(good), blank);
  expect_error(@() frameNeighbours(uint32([1 2]), 2), blank);
  expect_error(@() frameNeighbours({}, 2), blank);
  expect_error(@() frameNeighbours({uint16([1 2])}, 2), blank);
  expect_error(@() frameNeighbours({uint32([1 2]), [1 2]}, 2), blank);
  expect_error(@() frameNeighbours(good, uint32(2)), blank);
  expect_error(@() one_output(good, 2), blank);
  expect_error(@() one_output(good, 0), blank);

  % Input that would leave the arrays or divide by zero is refused with its own text.
  expect_error(@() frameNeighbours({uint32([1 2; 3 4]), uint32([1 2 3])}, 4), ...
    'frameNeighbours: Label map 2 has 3 elements but label map 1 is 2-by-2.');
  expect_error(@() frameNeighbours(good, 0), ...
    'frameNeighbours: Number of superpixels must be between 1 and 4294967296.');
  expect_error(@() frameNeighbours(good, NaN), ...
    'frameNeighbours: Number of superpixels must be between 1 and 4294967296.');
  expect_error(@() frameNeighbours(good, []), ...
    'frameNeighbours: Number of superpixels must not be empty.');

  assert(~isempty(strfind(help('frameNeighbours'), 'frameNeighbours')));
end

function one_output(labels, n)
  a = frameNeighbours(labels, n); %#ok<NASGU>
end
