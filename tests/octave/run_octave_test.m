function run_octave_test(name)
% RUN_OCTAVE_TEST  Runs one test function through the real host and exits with its status.
%   The test function runs its cases and raises an error at the first failure.
  try
    feval(name);
    printf('%s: passed\n', name);
    exit(0);
  catch err
    printf('%s: FAILED\n%s\n', name, err.message);
    for k = 1:numel(err.stack)
      printf('  at %s line %d\n', err.stack(k).name, err.stack(k).line);
    end
    exit(1);
  end
end
