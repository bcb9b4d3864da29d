function test_regionCoverage()
% regionCoverage called as a user calls it: outputs, classes, shapes, and every error text.
  % Label 1: 8 pixels, 2 inside; label 2 is absent; label 3: 4 pixels, 3 inside.
  labels = uint16([1 1 1 1 3 3; 1 1 1 1 3 3]);
  inside = logical([1 0 0 0 1 1; 0 0 0 1 1 0]);
  [ratio, sz] = regionCoverage(labels, inside);
  assert(strcmp(class(ratio), 'single') && isequal(size(ratio), [3 1]));
  assert(strcmp(class(sz), 'uint32') && isequal(size(sz), [3 1]));
  assert(isequal(ratio, single([0.25; 0; 0.75])) && isequal(sz, uint32([8; 0; 4])));

  % A given count fixes the number of rows.
  [ratio, sz] = regionCoverage(labels, inside, uint16(5));
  assert(isequal(size(ratio), [5 1]) && isequal(sz, uint32([8; 0; 4; 0; 0])));

  % An in-out map false everywhere: ratios 0, sizes still counted.
  [ratio, sz] = regionCoverage(labels, false(2, 6));
  assert(isequal(ratio, single([0; 0; 0])) && isequal(sz, uint32([8; 0; 4])));

  % With no output the ratio becomes ans; one output is the ratio.
  regionCoverage(labels, inside);
  assert(isequal(ans, single([0.25; 0; 0.75])));
  r1 = regionCoverage(labels, inside);
  assert(isequal(r1, single([0.25; 0; 0.75])));

  expect_error(@() regionCoverage(labels), ...
    'regionCoverage: Invalid number of input arguments');
  expect_error(@() regionCoverage(double(labels), uint8(inside)), ...
    'regionCoverage: Super pixel label map must be of type uint16');
  expect_error(@() regionCoverage(labels, uint8(inside)), ...
    'regionCoverage: In-Out map must be of type logical');
  expect_error(@() regionCoverage(labels, inside, 3), ...
    'regionCoverage: Number of superpixels must be of type uint16');
  expect_error(@() three_outputs(labels, inside), ...
    'regionCoverage: Invalid number of output arguments');
  expect_error(@() regionCoverage(cat(3, labels, labels), inside), ...
    'regionCoverage: Super pixel label map must be 2-dimensional');
  expect_error(@() regionCoverage(labels, cat(3, inside, inside)), ...
    'regionCoverage: In-Out map must be 2-dimensional');

  % Input that would leave the arrays is refused with its own text.
  expect_error(@() regionCoverage(labels, inside, uint16([])), ...
    'regionCoverage: Number of superpixels must not be empty.');
  expect_error(@() regionCoverage(labels, inside(:, 1:5)), ...
    'regionCoverage: In-Out map has 10 elements but the 2-by-6 label map has 12.');
  bad = labels; bad(2, 3) = 0;
  expect_error(@() regionCoverage(bad, inside), ...
    'regionCoverage: Label 0 at element 6 of the super pixel label map is outside 1..3.');
  expect_error(@() regionCoverage(labels, inside, uint16(2)), ...
    'regionCoverage: Label 3 at element 9 of the super pixel label map is outside 1..2.');

  assert(~isempty(strfind(help('regionCoverage'), 'inside')));
end

function three_outputs(labels, inside)
  [a, b, c] = regionCoverage(labels, inside); %#ok<ASGLU>
end
