function test_integerFlow()
% integerFlow turns denseMotion's layout (u, then v, double) into the int16 row-first steps the
% graph functions read, rounding halves away from zero: checked value by value and through
% regionLinkage, whose counts show where the plug-in moves each pixel.
  u = [0.5 -0.5 1.49 -2.5; NaN 40000 -Inf 2.51];
  v = [1.5 -1.5 0 0; 3 0 0 -7];
  steps = integerFlow(cat(3, u, v));
  assert(isa(steps, 'int16') && isequal(size(steps), [2 4 2]));
  assert(isequal(steps(:, :, 1), int16([2 -2 0 0; 3 0 0 -7])));
  assert(isequal(steps(:, :, 2), int16([1 -1 1 -3; 0 32767 -32768 3])));

  % A flow of one column to the right and one row down, as denseMotion would give it:
  % regionLinkage must find each pixel of the left half landing one column further right.
  labels = uint16([ones(6, 3) 2 * ones(6, 3)]);
  flow = cat(3, ones(6, 6), ones(6, 6));
  links = regionLinkage(integerFlow(flow), labels, labels);
  % Rows 1..5 land inside; of the left half's columns 1..3, column 3 lands on label 2.
  assert(isequal(links, uint32([10 5; 0 10])), mat2str(links));

  expect_error(@() integerFlow(zeros(2, 2)), 'FLOW must be H-by-W-by-2; it is 2-by-2.', ...
               'motionseg:integerFlow:size');
  expect_error(@() integerFlow({1}), 'FLOW must be a real numeric H-by-W-by-2 array.', ...
               'motionseg:integerFlow:class');
end
