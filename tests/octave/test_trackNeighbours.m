function test_trackNeighbours()
% trackNeighbours called as a user calls it: outputs, classes, shapes, weights and error texts.
  blank = 'trackNeighbours:  ';
  still = @(h, w) zeros(h, w, 2, 'int16');

  % Zero flow between identical maps: one edge (a, a) of weight 1 per label.
  map = uint32([1 2; 2 3]);
  [a, b, w] = trackNeighbours({still(2, 2)}, {map, map}, 3);
  assert(strcmp(class(a), 'uint32') && strcmp(class(b), 'uint32') && strcmp(class(w), 'single'));
  assert(isequal(size(a), [3 1]) && isequal(size(w), [3 1]));
  assert(isequal([a b], uint32([0 0; 1 1; 2 2])) && isequal(w, single([1; 1; 1])));

  % Three of four pixels of label 1 land on label 5, one on label 9.
  [a, b, w] = trackNeighbours({still(1, 4)}, {uint32([1 1 1 1]), uint32([5 5 5 9])}, 9);
  assert(isequal([a b], uint32([0 4; 0 8])) && isequal(w, single([0.75; 0.25])));

  % Flow to row -1 or to column W casts no vote and does not count for its label.
  flow = still(2, 2);
  flow(1, 1, 1) = -1;   % pixel (1,1) one row above the top
  flow(1, 2, 2) = 1;    % pixel (1,2) one column past the right edge
  [a, b, w] = trackNeighbours({flow}, {uint32(ones(2)), uint32([2 4; 3 5])}, 5);
  assert(isequal([a b], uint32([0 2; 0 4])) && isequal(w, single([0.5; 0.5])));

  % The same pair in two frame steps is one edge; its votes and landed counts add up.
  [a, b, w] = trackNeighbours({still(1, 2), still(1, 2)}, ...
                              {uint32([1 1]), uint32([1 2]), uint32([2 3])}, 3);
  assert(isequal([a b], uint32([0 0; 0 1; 1 2])));
  assert(isequal(w, single([1; 2; 3]) ./ single([3; 3; 3])));

  % No outputs requested: the source indices become ans.
  trackNeighbours({still(1, 2)}, {uint32([2 1]), uint32([1 2])}, 2);
  assert(isequal(ans, uint32([1; 0])));

  % Every fault of the documented checks reports a single blank.
  flows = {still(1, 2)};
  labels = {uint32([1 2]), uint32([3 4])};
  expect_error(@() trackNeighbours(flows, labels), blank);
  expect_error(@() trackNeighbours(flows{1}, labels, 4), blank);
  expect_error(@() trackNeighbours({still(1, 2), still(1, 2)}, labels, 4), blank);
  expect_error(@() trackNeighbours(flows, {uint32([1 2 3]), uint32([3 4])}, 4), blank);
  expect_error(@() trackNeighbours({single(still(1, 2))}, labels, 4), blank);
  expect_error(@() trackNeighbours({double(still(1, 2))}, labels, 4), blank);
  expect_error(@() trackNeighbours(flows, {uint16([1 2]), uint32([3 4])}, 4), blank);
  expect_error(@() trackNeighbours(flows, labels, uint32(4)), blank);
  expect_error(@() one_output(flows, labels), blank);
  expect_error(@() two_outputs(flows, labels), blank);

  % Input that would leave the arrays or divide by zero is refused with its own text.
  expect_error(@() trackNeighbours({flows{1}, int16([])}, [labels, {uint32([1 1])}], 4), ...
    'trackNeighbours: Flow field 2 is empty.');
  expect_error(@() trackNeighbours({int16([])}, {uint32([1 2]), uint32([])}, 4), ...
    'trackNeighbours: Flow field 1 is empty.');
  expect_error(@() trackNeighbours({int16([0 0 0]), flows{1}}, ...
                                   {uint32(1), uint32([1 2]), uint32([1 2])}, 4), ...
    'trackNeighbours: Flow field 1 has 3 elements, fewer than the 1-by-2-by-2 of the frames.');
  expect_error(@() trackNeighbours(flows, labels, 0), ...
    'trackNeighbours: Number of superpixels must be between 1 and 4294967296.');
  expect_error(@() trackNeighbours(flows, labels, []), ...
    'trackNeighbours: Number of superpixels must not be empty.');
  expect_error(@() trackNeighbours(flows, {uint32([1 0]), uint32([3 4])}, 4), ...
    'trackNeighbours: Label 0 at element 2 of the label map of frame 1 is outside 1..4.');
  expect_error(@() trackNeighbours(flows, {uint32([1 5]), uint32([3 4])}, 4), ...
    'trackNeighbours: Label 5 at element 2 of the label map of frame 1 is outside 1..4.');

  assert(~isempty(strfind(help('trackNeighbours'), 'trackNeighbours')));
end

function one_output(flows, labels)
  a = trackNeighbours(flows, labels, 4); %#ok<NASGU>
end

function two_outputs(flows, labels)
  [a, b] = trackNeighbours(flows, labels, 4); %#ok<ASGLU>
end
