function test_labelGapFill()
% labelGapFill through the real host: priorities, warnings as printed, the documented checks.
  O = labelGapFill(uint16([1 4 0; 2 0 0; 0 9 5]));
  assert(strcmp(class(O), 'uint16') && isequal(O, uint16([1 4 4; 2 4 5; 2 9 5])));
  printed = evalc('O = labelGapFill(uint16([5; 0; 0; 0]));');
  assert(isequal(O, uint16([5; 5; 0; 0])));
  assert(strcmp(printed, ['Warning: point (2,0) could not be filled in - all neighbours are unlabeled' ...
                          'Warning: point (3,0) could not be filled in - all neighbours are unlabeled']));
  % An unlabelled map prints the first 100 warnings, then one line for the rest.
  printed = evalc('O = labelGapFill(zeros(300, 400, ''uint16''));');
  assert(isequal(O, zeros(300, 400, 'uint16')));
  shown = sprintf('Warning: point (0,%d) could not be filled in - all neighbours are unlabeled', 0:99);
  assert(strcmp(printed, [shown sprintf(['\nWarning: 119900 more points could not be filled in - ' ...
                                         'all neighbours are unlabeled\n'])]));
  labelGapFill(uint16([1 0]));
  assert(isequal(ans, uint16([1 1])));
  expect_error(@() labelGapFill(uint16(1), 2), 'labelGapFill: Invalid number of input arguments');
  expect_error(@() labelGapFill([1 0]), 'labelGapFill: Input matrix must be of type uint16');
  expect_error(@() two_outputs(), 'labelGapFill: Invalid number of output arguments');
  expect_error(@() labelGapFill(zeros(2, 2, 2, 'uint16')), 'labelGapFill: Input matrix must be 2-dimensional');
  assert(~isempty(strfind(help('labelGapFill'), 'labelGapFill')));
end

function two_outputs()
  [a, b] = labelGapFill(uint16([1 0])); %#ok<ASGLU>
end
