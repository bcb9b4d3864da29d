function test_regionSummary()
% regionSummary called as a user calls it: outputs, classes, shapes, and every error text.
  usage = sprintf(['regionsSummary USAGE:\n\tExpected inputs:\n' ...
    '\t\t1 - Frames: a cell array of length frames. Each cell i contains a HxWx3 uint8 matrix containing the color values of frame i.\n' ...
    '\t\t2 - Superpixels: a cell array of length frames. Each cell i contains a HxW uint32 superpixel label map of frame i.\n' ...
    '\t\t3 - Number of superpixels: a double value containing the total number of superpixel labels.\n\n' ...
    '\tOutputs:\n' ...
    '\t\t1 - Superpixel mean colour: a single array of length N, where N is the number of superpixels in the video sequence, containing the mean colour (RGB) value of each superpixel.\n' ...
    '\t\t2 - Superpixel centre of mass: a single array of length N, containing the centre of mass of each superpixel.\n' ...
    '\t\t3 - Superpixel size: a single array of length N, containing the size of each superpixel in pixels.\n']);
  % Octave drops the final line feed of an error message (it only suppresses the traceback).
  usage = ['regionSummary: ' usage(1:end-1)];

  % Two 4-by-6 frames with 2-by-3-pixel grid superpixels numbered across the video.
  frames = {uint8(reshape(0:71, 4, 6, 3)), uint8(255 * ones(4, 6, 3))};
  grid = uint32(kron([1 2; 3 4], ones(2, 3)));
  labels = {grid, grid + 4};
  [colour, centre, sz] = regionSummary(frames, labels, 8.7);
  assert(strcmp(class(colour), 'single') && isequal(size(colour), [8 3]));
  assert(strcmp(class(centre), 'single') && isequal(size(centre), [8 2]));
  assert(strcmp(class(sz), 'uint32') && isequal(size(sz), [8 1]));
  assert(all(sz == 6));
  % Label 1 covers rows 0..1 and columns 0..2 (0-based) of frame 1.
  assert(isequal(centre(1, :), single([0.5 1])));
  assert(isequal(centre(4, :), single([2.5 4])));
  r = double(frames{1}(1:2, 1:3, 1));
  assert(abs(colour(1, 1) - mean(r(:))) < 1e-5);
  assert(isequal(colour(5:8, :), single(255 * ones(4, 3))));

  % The same label in both frames: one row over all its pixels.
  [~, c2, s2] = regionSummary(frames, {grid, grid}, 4);
  assert(isequal(s2, uint32([12; 12; 12; 12])));
  assert(isequal(c2(1, :), single([0.5 1])));

  % No outputs requested: the colour table becomes ans.
  regionSummary(frames, labels, 8);
  assert(isequal(ans, colour));

  % Unused labels give zero rows.
  [col3, cen3, sz3] = regionSummary(frames(1), labels(1), 6);
  assert(isequal(sz3(5:6), uint32([0; 0])) && all(col3(5, :) == 0) && all(cen3(6, :) == 0));

  % Every fault of the documented checks reports the usage text.
  expect_error(@() regionSummary(frames, labels), usage);
  expect_error(@() regionSummary(frames{1}, labels, 8), usage);
  expect_error(@() regionSummary(frames, labels(1), 8), usage);
  expect_error(@() regionSummary({}, {}, 8), usage);
  expect_error(@() regionSummary(frames, {grid(1:3, :), grid}, 8), usage);
  expect_error(@() regionSummary(frames, {uint16(grid), grid}, 8), usage);
  expect_error(@() regionSummary({double(frames{1}), frames{2}}, labels, 8), usage);
  expect_error(@() regionSummary(frames, labels, uint32(8)), usage);
  expect_error(@() one_output(frames, labels), usage);
  expect_error(@() two_outputs(frames, labels), usage);

  % Input that would leave the arrays is refused with its own text.
  bad = grid; bad(3, 2) = 0;
  expect_error(@() regionSummary(frames, {grid, bad}, 8), ...
    'regionSummary: Label 0 at element 7 of the label map of frame 2 is outside 1..8.');
  expect_error(@() regionSummary(frames, labels, 7), ...
    'regionSummary: Label 8 at element 15 of the label map of frame 2 is outside 1..7.');
  expect_error(@() regionSummary({frames{1}, uint8([])}, {uint32([]), grid}, 8), ...
    'regionSummary: No frame pair holds both a frame and a label map.');
  expect_error(@() regionSummary({frames{1}, uint8(zeros(6, 4, 3))}, {grid, grid'}, 8), ...
    'regionSummary: Frame 1 is 4-by-6-by-3 but frame 2 is 6-by-4-by-3; all frames must have one size.');
  expect_error(@() regionSummary(frames, labels, []), ...
    'regionSummary: Number of superpixels must not be empty.');
  expect_error(@() regionSummary(frames, labels, -1), ...
    'regionSummary: Number of superpixels must be between 0 and 2147483647.');

  % The size output counts in 32 bits: 4400 frames of 1000-by-1000 (cells sharing one array)
  % are refused before anything is counted; 20 such frames of one label give exact means.
  frame = zeros(1000, 1000, 3, 'uint8') + 255;
  one = ones(1000, 1000, 'uint32');
  expect_error(@() regionSummary(repmat({frame}, 1, 4400), repmat({one}, 1, 4400), 1), ...
    ['regionSummary: regionSummary counts at most 4294967295 pixels in one call (the size ' ...
     'output is uint32); these 4400 frames of 1000-by-1000 hold 4400000000.']);
  [colour, centre, sz] = regionSummary(repmat({frame}, 1, 20), repmat({one}, 1, 20), 1);
  assert(isequal(colour, single([255 255 255])) && isequal(centre, single([499.5 499.5])) && ...
         sz == 20000000);
end

function one_output(frames, labels)
  c = regionSummary(frames, labels, 8); %#ok<NASGU>
end

function two_outputs(frames, labels)
  [c, m] = regionSummary(frames, labels, 8); %#ok<ASGLU>
end
