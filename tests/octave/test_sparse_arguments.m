function test_sparse_arguments()
% Every argument of every toolbox function, plug-ins and .m helpers, refused when it is sparse:
% a sparse array's data holds only its nonzero elements, and reading it as a full array reads
% past its end or gives wrong answers. Each call first runs as given (so the sparse argument is
% the only fault), then once per argument with that argument (or each element of a cell)
% replaced by its sparse version, and must raise motionseg:NAME:class.
  img = reshape(mod((1:16*16*3) * 37, 251), 16, 16, 3);
  ring = false(6); ring(2:5, 2:5) = true; ring(3:4, 3:4) = false;
  L = uint16(kron([1 2; 3 4], ones(2, 3)));
  inside = false(4, 6); inside(1:2, :) = true;
  steps = zeros(4, 6, 2, 'int16');
  labels32 = uint32(L);
  phi = magic(5) - 12;
  o = ones(5);
  flow = reshape(single(1:24), 3, 4, 2);
  folder = tempname();
  mkdir(folder);
  cleanup = onCleanup(@() confirm_recursive_rmdir(false) || rmdir(folder, 's'));
  flo = fullfile(folder, 'f.flo');
  writeFlo(flo, flow);

  % {name, arguments, whether the call as given may run here (no build, demo or file writing
  % outside the temporary folder)}
  calls = {
    'denseMotion',       {img, img + 1, 0.8, 30, 300, 5},                 true
    'regionSummary',     {{uint8(img(1:4, 1:6, :))}, {labels32}, 4},      true
    'regionMotionLevel', {steps, L, 4},                                    true
    'regionCoverage',    {L, inside, uint16(4)},                           true
    'paletteMerge',      {uint8([1 2 3; 1 2 3]), single([1; 2])},          true
    'edgeTrim',          {ring, false(6)},                                 true
    'frameNeighbours',   {{labels32, labels32}, 4},                        true
    'trackNeighbours',   {{steps}, {labels32, labels32}, 4},               true
    'regionLinkage',     {steps, L, L, 4, 4},                              true
    'crossingCounts',    {uint8(magic(4))},                                true
    'crossingRuns',      {uint8(magic(4))},                                true
    'front_velocity',    {o, o, o, o, o, o, o, o, 1},                      true
    'surface_slope',     {phi, o},                                         true
    'surface_partials',  {phi},                                            true
    'sign_flip',         {phi},                                            true
    'trough_points',     {phi, 1},                                         true
    'labelGapFill',      {uint16(magic(4))},                               true
    'bitcode_distance',  {magic(4) > 8, magic(4) > 4},                     true
    'flowToColour',      {flow, 3},                                        true
    'integerFlow',       {flow},                                           true
    'readFlo',           {flo},                                            true
    'writeFlo',          {fullfile(folder, 'g.flo'), flow},                true
    'flowColourWheel',   {31},                                             true
    'motionseg_demo',    {fullfile(folder, 'demo'), fullfile(folder, 'none')}, false
    'compile_toolbox',   {fullfile(folder, 'build'), {'edgeTrim'}},        false
    'motionseg_setup',   {'rebuild'},                                      false
  };
  tried = 0;
  for c = 1:rows(calls)
    [name, args, runs] = calls{c, :};
    fn = str2func(name);
    if runs
      call_quietly(fn, args);   % the call as given succeeds
    end
    for k = 1:numel(args)
      bad = args;
      if iscell(args{k})
        for e = 1:numel(args{k})
          bad{k}{e} = sparse_version(args{k}{e});
          expect_class_error(fn, bad, name, sprintf('argument %d, cell %d', k, e));
          bad{k} = args{k};
        end
      else
        bad{k} = sparse_version(args{k});
        expect_class_error(fn, bad, name, sprintf('argument %d', k));
      end
      tried = tried + 1;
    end
  end
  assert(tried == sum(cellfun(@numel, calls(:, 2))));

  % The faults first seen this way, with their answers: wrong results given as success.
  expect_class_error(@edgeTrim, {sparse(ring)}, 'edgeTrim', 'a sparse ring');
  expect_class_error(@regionCoverage, {L, sparse(inside)}, 'regionCoverage', 'a sparse map');
  assert(isequal(regionCoverage(L, inside), single([1; 1; 0; 0])));
  assert(isequal(edgeTrim(ring), ring));
end

function s = sparse_version(x)
  % The sparse array of x's values: sparse keeps logical and double, and every other class
  % (integers, single, char) has no sparse form, so its values are taken as double. Sparse
  % arrays have two dimensions: the trailing ones are folded into the columns.
  if ~islogical(x)
    x = double(x);
  end
  s = sparse(reshape(x, size(x, 1), []));
end

function call_quietly(fn, args)
  % denseMotion insists on one output, the others take none; printed output is kept quiet.
  if strcmp(func2str(fn), 'denseMotion')
    evalc('out = fn(args{:});');
  else
    evalc('fn(args{:});');
  end
end

function expect_class_error(fn, args, name, what)
  try
    call_quietly(fn, args);
  catch err
    expected = ['motionseg:' name ':class'];
    if ~strcmp(err.identifier, expected)
      error('test:sparse', '%s with a sparse %s: identifier [%s] (%s), expected [%s]', name, ...
            what, err.identifier, err.message, expected);
    end
    return;
  end
  error('test:sparse', '%s with a sparse %s: no error', name, what);
end
