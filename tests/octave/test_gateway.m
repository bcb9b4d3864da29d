function test_gateway()
% Each failure path of the gateway ends the call with a host error, and the session goes on.
% Errors carry the identifier motionseg:NAME:KIND, so that scripts can catch them by kind.
  expect_error(@() gatewayProbe(1), sprintf('gatewayProbe: Probe failure with a\n\tline feed and a tab.'), ...
               'motionseg:gatewayProbe:value');
  expect_error(@() gatewayProbe(2), 'gatewayProbe: Out of memory.', 'motionseg:gatewayProbe:memory');
  % The host's own error passes through as the host raised it, without an identifier.
  expect_error(@() gatewayProbe(3), 'gatewayProbe: Raised by the host itself.', '');
  expect_error(@() gatewayProbe(5), 'gatewayProbe: Size does not fit in 32 bits.', ...
               'motionseg:gatewayProbe:size');
  expect_error(@() gatewayProbe(6, []), 'gatewayProbe: Second input must be a numeric scalar.', ...
               'motionseg:gatewayProbe:size');
  expect_error(@() gatewayProbe(6, {1}), 'gatewayProbe: Second input must be a numeric scalar.', ...
               'motionseg:gatewayProbe:class');
  expect_error(@() gatewayProbe(7), 'gatewayProbe: Failed after creating an output.', ...
               'motionseg:gatewayProbe:internal');
  % A text with a per cent sign reaches the caller as it stands.
  expect_error(@() gatewayProbe(9), 'gatewayProbe: 100% of 0 is %d.', 'motionseg:gatewayProbe:value');
  % Caught by identifier, as a script would.
  try
    gatewayProbe(1);
  catch err
    switch err.identifier
      case 'motionseg:gatewayProbe:value'
        caught = true;
      otherwise
        caught = false;
    end
  end
  assert(caught);
  try
    gatewayProbe(4);
    error('test:noerror', 'mode 4 raised nothing');
  catch err
    assert(strncmp(err.message, 'gatewayProbe: Internal error: ', 30), err.message);
    assert(strcmp(err.identifier, 'motionseg:gatewayProbe:internal'), err.identifier);
  end
  assert(gatewayProbe(6, int16(-7)) == -7);
  % After all those errors the plug-in still answers normally.
  assert(isequal(size(gatewayProbe(0)), [1 1]));
  assert(strcmp(strtrim(evalc('gatewayProbe(8);')), 'printed 42'));
end
