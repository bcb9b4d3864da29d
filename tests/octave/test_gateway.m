function test_gateway()
% Each failure path of the gateway ends the call with a host error, and the session goes on.
  expect_error(@() gatewayProbe(1), sprintf('gatewayProbe: Probe failure with a\n\tline feed and a tab.'));
  expect_error(@() gatewayProbe(2), 'gatewayProbe: Out of memory.');
  expect_error(@() gatewayProbe(3), 'gatewayProbe: Raised by the host itself.');
  expect_error(@() gatewayProbe(5), 'gatewayProbe: Size does not fit in 32 bits.');
  expect_error(@() gatewayProbe(6, []), 'gatewayProbe: Second input must be a numeric scalar.');
  expect_error(@() gatewayProbe(6, {1}), 'gatewayProbe: Second input must be a numeric scalar.');
  expect_error(@() gatewayProbe(7), 'gatewayProbe: Failed after creating an output.');
  try
    gatewayProbe(4);
    error('test:noerror', 'mode 4 raised nothing');
  catch err
    assert(strncmp(err.message, 'gatewayProbe: Internal error: ', 30), err.message);
  end
  assert(gatewayProbe(6, int16(-7)) == -7);
  % After all those errors the plug-in still answers normally.
  assert(isequal(size(gatewayProbe(0)), [1 1]));
  assert(strcmp(strtrim(evalc('gatewayProbe(8);')), 'printed 42'));
end
