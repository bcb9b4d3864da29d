function test_paletteMerge()
% paletteMerge called as a user calls it: outputs, classes, shapes, and the usage text.
  usage = sprintf(['Error: incorrect function call\n\nUSAGE:\t[ colours, weights ] = ' ...
    'paletteMerge( colours, weights )\n\n\tcolours: a Nx3 uint8 matrix containing the colour ' ...
    'list\n\tweights: a Nx1 single real valued array containing the corresponding weight of ' ...
    'each colour\n']);
  % Octave drops the final line feed of an error message.
  usage = ['paletteMerge: ' usage(1:end-1)];

  [c, w] = paletteMerge(uint8([10 20 30; 10 20 30]), single([0.5; 0.25]));
  assert(strcmp(class(c), 'uint8') && isequal(c, uint8([10 20 30])));
  assert(strcmp(class(w), 'single') && isequal(w, single(0.75)));

  % Ascending key red + 256 green + 65536 blue: blue first, then green, then red.
  [c, w] = paletteMerge(uint8([0 0 1; 255 0 0; 0 1 0]), single([1; 2; 3]));
  assert(isequal(c, uint8([255 0 0; 0 1 0; 0 0 1])) && isequal(w, single([2; 3; 1])));

  % Empty list; no output gives the colours as ans.
  [c, w] = paletteMerge(zeros(0, 3, 'uint8'), zeros(0, 1, 'single'));
  assert(isequal(size(c), [0 3]) && isequal(size(w), [0 1]));
  assert(strcmp(class(c), 'uint8') && strcmp(class(w), 'single'));
  paletteMerge(uint8([1 2 3; 1 2 3]), single([1; 1]));
  assert(isequal(ans, uint8([1 2 3])));

  expect_error(@() paletteMerge(uint8([1 2 3])), usage);
  expect_error(@() paletteMerge(double([1 2 3]), single(1)), usage);
  expect_error(@() paletteMerge(uint8([1 2 3]), 1), usage);
  expect_error(@() paletteMerge(uint8([1 2 3; 4 5 6]), single([1 2])), usage);
  expect_error(@() paletteMerge(uint8([1 2 3 4]), single(1)), usage);
  expect_error(@() three_outputs(), usage);

  assert(~isempty(strfind(help('paletteMerge'), 'distinct')));
end

function three_outputs()
  [a, b, c] = paletteMerge(uint8([1 2 3]), single(1)); %#ok<ASGLU>
end
