function test_interrupt()
% Ctrl-C during a call that polls for it: an interactive octave-cli child runs the probe's
% polling loop, receives SIGINT, and must be back at its prompt, with the session intact,
% long before the loop's 60 seconds are over.
  probe = fileparts(which('gatewayProbe'));
  octave = fullfile(OCTAVE_HOME, 'bin', 'octave-cli');
  if ~exist(octave, 'file')
    octave = 'octave-cli';
  end
  [in, out, pid] = popen2(octave, {'--no-gui', '--norc', '--quiet', '--no-history', '--interactive'});
  fprintf(in, 'addpath(''%s''); x = 7; disp(''polling''); fflush(stdout); n = gatewayProbe(9, 60)\n', probe);
  fflush(in);
  wait_for(out, 'polling');
  pause(0.5);  % let the call start polling
  started = tic;
  kill(pid, 2);
  fprintf(in, 'printf(''alive %%d %%d\\n'', x * 6, exist(''n'')); exit(0)\n');
  fflush(in);
  line = wait_for(out, 'alive');
  assert(toc(started) < 30, 'the interrupt took %g s to end the call', toc(started));
  % x survived and n was never assigned: the call ended without returning.
  assert(~isempty(strfind(line, 'alive 42 0')), line);
  fclose(in);
  fclose(out);
  waitpid(pid);
end

function line = wait_for(out, text)
% Reads the child's output (a non-blocking pipe) until a line contains text; fails after 30 s.
  deadline = tic;
  while toc(deadline) < 30
    line = fgetl(out);
    if ischar(line)
      if ~isempty(strfind(line, text))
        return;
      end
    else
      fclear(out);
      pause(0.05);
    end
  end
  error('test:timeout', 'the child printed no "%s" within 30 s', text);
end
