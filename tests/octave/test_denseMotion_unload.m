function test_denseMotion_unload()
% TEST_DENSEMOTION_UNLOAD  denseMotion leaves no thread behind: after calls on several threads
% the plug-in unloads with clear, loads again and gives the same flow, and the process has as
% many threads as before the first call.
  if ~exist('/proc/self/task', 'dir')
    return;  % no thread list to read on this system
  end
  [x, y] = meshgrid(1:40, 1:32);
  a = cat(3, 100 + 40 * sin(0.3 * x + 0.2 * y), 120 + 30 * cos(0.25 * y), 90 + 20 * sin(0.4 * x));
  b = circshift(a, [1, 2, 0]);
  before = tasks(-1);
  setenv('OMP_NUM_THREADS', '3');
  first = denseMotion(a, b);
  if tasks(before) ~= before
    error('denseMotion left %d threads running after the call', tasks(before) - before);
  end
  for k = 1:2
    clear denseMotion;
    clear mex;
    clear functions;
    again = denseMotion(a, b);
    if ~isequal(again, first)
      error('the flow after reloading the plug-in differs');
    end
  end
  if tasks(before) ~= before
    error('%d threads remain after reloading the plug-in', tasks(before) - before);
  end
  unsetenv('OMP_NUM_THREADS');
end

function n = tasks(expected)
% Threads of this process; waits up to a second for `expected` (a joined thread may still be
% listed for a moment).
  for k = 1:100
    n = numel(dir('/proc/self/task')) - 2;  % without . and ..
    if n == expected || expected < 0
      return;
    end
    pause(0.01);
  end
end
