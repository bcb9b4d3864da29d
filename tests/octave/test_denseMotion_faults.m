function test_denseMotion_faults()
% denseMotion refuses a flow that is not finite, naming what leads there, and warns (without
% changing the flow) when both frames lie within 0..1.
  a = reshape(mod((1:24*32*3) * 37, 251), 24, 32, 3);
  b = circshift(a, [1 2 0]);

  % {frames and parameters, a part of the error text}: each gave a not-finite flow as success.
  cases = {
    {a, b, 0.8, 30, 300, 1e38},   'gamma = 1e+38 is far too large'
    {a, b, 0.8, 30, 1e38, 1e38},  'beta = 1e+38, gamma = 1e+38 is far too large'
    {a * 1e30, b * 1e30},         'the frames hold values from 0 to 2.5e+32'
  };
  for k = 1:rows(cases)
    args = cases{k, 1};
    try
      flow = denseMotion(args{:}); %#ok<NASGU>
      error('test:faults', 'case %d: no error', k);
    catch err
      assert(strcmp(err.identifier, 'motionseg:denseMotion:value'), err.identifier);
      assert(~isempty(strfind(err.message, 'values that are not finite numbers: ')), err.message);
      assert(~isempty(strfind(err.message, cases{k, 2})), err.message);
    end
  end

  % {first, second, warned}: 0..1 frames warn; 0..255 frames, constant frames and frames
  % reaching beyond 1 do not.
  c = a / 255;
  d = b / 255;
  over = d;
  over(1) = 1.5;
  flat = 0.5 * ones(size(a));
  cases = {
    c, d, true
    a, b, false
    flat, flat, false
    c, over, false
    c, flat, true
  };
  state = warning('query', 'motionseg:denseMotion:range');
  restore = onCleanup(@() warning(state));
  for k = 1:rows(cases)
    lastwarn('', '');
    flow = denseMotion(cases{k, 1}, cases{k, 2});
    [~, id] = lastwarn();
    assert(strcmp(id, 'motionseg:denseMotion:range') == cases{k, 3}, sprintf('case %d: [%s]', k, id));
    assert(all(isfinite(flow(:))) && isequal(size(flow), [24 32 2]));
  end
  % A script can turn the warning into an error by its identifier.
  warning('error', 'motionseg:denseMotion:range');
  try
    flow = denseMotion(c, d); %#ok<NASGU>
    error('test:faults', 'the warning did not become an error');
  catch err
    assert(strcmp(err.identifier, 'motionseg:denseMotion:range'), err.identifier);
  end
end
