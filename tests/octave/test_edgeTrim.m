function test_edgeTrim()
% edgeTrim called as a user calls it: outputs, classes, shapes, and every error text.
  % The single sweeps leave the end of a chain that turns back against them.
  e = false(7);
  e(2, 1:5) = true; e(3:6, 5) = true; e(6, 3:4) = true; e(4:5, 3) = true;
  out = edgeTrim(e);
  expected = false(7); expected(6, 3) = true;
  assert(islogical(out) && isequal(out, expected));

  % A closed ring is kept; a mask on any one of its pixels removes all of it.
  ring = false(6); ring(2:5, 2:5) = true; ring(3:4, 3:4) = false;
  assert(isequal(edgeTrim(ring), ring));
  for p = find(ring)'
    mask = false(6); mask(p) = true;
    assert(~any(any(edgeTrim(ring, mask))));
  end
  assert(isequal(edgeTrim(ring, false(6)), ring));

  % Lines from the border go, whatever their direction; single rows and columns go entirely.
  line = false(8, 9); line(4, 3:9) = true; line(1:5, 2) = true; line(5:8, 6) = true;
  assert(~any(any(edgeTrim(line))));
  assert(~any(edgeTrim(true(1, 6))) && ~any(edgeTrim(true(6, 1))));

  % Empty maps keep their size; no output gives the result as ans.
  assert(isequal(size(edgeTrim(false(0, 4))), [0 4]) && islogical(edgeTrim(false(3, 0))));
  edgeTrim(ring);
  assert(isequal(ans, ring));

  expect_error(@() edgeTrim(), 'edgeTrim: Invalid number of input arguments');
  expect_error(@() edgeTrim(ring, ring, ring), 'edgeTrim: Invalid number of input arguments');
  expect_error(@() edgeTrim(double(ring)), 'edgeTrim: Input matrix must be of type logical');
  expect_error(@() edgeTrim(ring, uint8(ring)), 'edgeTrim: Mask must be of type logical');
  expect_error(@() two_outputs(ring), 'edgeTrim: Invalid number of output arguments');
  expect_error(@() edgeTrim(cat(3, ring, ring)), 'edgeTrim: Input matrix must be 2-dimensional');
  expect_error(@() edgeTrim(ring, cat(3, ring, ring)), 'edgeTrim: Mask must be 2-dimensional');

  % A mask that would be read beyond its end is refused with its own text.
  expect_error(@() edgeTrim(ring, false(5)), ...
    'edgeTrim: Mask has 25 elements but the 6-by-6 input matrix has 36.');

  assert(~isempty(strfind(help('edgeTrim'), 'boundary')));
end

function two_outputs(e)
  [a, b] = edgeTrim(e); %#ok<ASGLU>
end
