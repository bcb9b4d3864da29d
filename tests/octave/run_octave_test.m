function run_octave_test(name)
% RUN_OCTAVE_TEST  Runs one test function through the real host and exits with its status.
%   The test function runs its cases and raises an error at the first failure; an error with
%   the identifier test:skip (a peer the test needs is not installed) exits with 77, which
%   ctest reports as skipped.
  try
    feval(name);
    printf('%s: passed\n', name);
    exit(0);
  catch err
    if strcmp(err.identifier, 'test:skip')
      printf('%s: skipped: %s\n', name, err.message);
      exit(77);
    end
    printf('%s: FAILED\n%s\n', name, err.message);
    for k = 1:numel(err.stack)
      printf('  at %s line %d\n', err.stack(k).name, err.stack(k).line);
    end
    exit(1);
  end
end
