function test_interrupt()
% Ctrl-C during a call that polls for it: an interactive octave-cli child starts the call,
% receives SIGINT, and must be back at its prompt with its workspace intact and the call's
% result never assigned.
  probe = fileparts(which('gatewayProbe'));
  % The probe's loop polls for 60 seconds unless interrupted.
  interrupt_child(probe, '', 'n = gatewayProbe(10, 60)');
  % denseMotion polls between pyramid levels and grid rows; a 1000-by-1000 pair takes several
  % seconds (the frames are made before the call starts).
  interrupt_child(fileparts(which('denseMotion')), ...
                  'a = rand(1000, 1000, 3) * 255; b = circshift(a, [2 3]);', 'n = denseMotion(a, b)');
end

function interrupt_child(folder, setup, call)
% Runs setup and then `call` (which assigns n) in an interactive child with folder on its
% path, sends SIGINT once the call has started, and checks that the child goes on without n.
  octave = fullfile(OCTAVE_HOME, 'bin', 'octave-cli');
  if ~exist(octave, 'file')
    octave = 'octave-cli';
  end
  [in, out, pid] = popen2(octave, {'--no-gui', '--norc', '--quiet', '--no-history', '--interactive'});
  fprintf(in, 'addpath(''%s''); x = 7; %s disp(''calling''); fflush(stdout); %s\n', folder, ...
          setup, call);
  fflush(in);
  wait_for(out, 'calling');
  pause(0.5);  % let the call start polling
  kill(pid, 2);
  fprintf(in, 'printf(''alive %%d %%d\\n'', x * 6, exist(''n'')); exit(0)\n');
  fflush(in);
  line = wait_for(out, 'alive');
  % x survived and n was never assigned: the call ended without returning.
  assert(~isempty(strfind(line, 'alive 42 0')), '%s: %s', call, line);
  fclose(in);
  fclose(out);
  waitpid(pid);
end

function line = wait_for(out, text)
% Reads the child's output (a non-blocking pipe) until a line contains text; fails after 30 s,
% half the time the probe's loop would run without an interrupt.
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
