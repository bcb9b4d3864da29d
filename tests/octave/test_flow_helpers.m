function test_flow_helpers()
% The .m flow helpers against the faults found in them: unknown-flow markers setting the
% picture's saturation, integerFlow applied twice, errors without an identifier, and a failed
% writeFlo leaving a partial file in place of the old one.

  % Unknown flow (vectors longer than 1e9 px, 1e10 in ground-truth files, infinite ones too)
  % is drawn white and takes no part in the saturation: every other pixel gets exactly the
  % colour of the same flow with those pixels made NaN, saturated at its longest known vector.
  [x, y] = meshgrid(-4:4, -3:3);
  flow = cat(3, x, y);
  markers = {1e10, -1e10, Inf, 8e8};   % 8e8 in both components: longer than 1e9 too
  for k = 1:numel(markers)
    marked = flow;
    marked(2, 3, :) = markers{k};
    marked(5, 7, 1) = 2 * markers{k};   % one component alone
    unknown = false(7, 9); unknown(2, 3) = true; unknown(5, 7) = true;
    reference = marked;
    reference(repmat(unknown, [1 1 2])) = NaN;
    longest = max(hypot(x(~unknown), y(~unknown)));
    for saturation = {[], longest}
      image = flowToColour(marked, saturation{1});
      expected = flowToColour(reference, longest);
      known = repmat(~unknown, [1 1 3]);
      assert(isequal(image(known), expected(known)), sprintf('marker %g', markers{k}));
      assert(all(image(~known) == 255), sprintf('marker %g not white', markers{k}));
    end
    % Before the mend the whole picture was black: the markers set the saturation.
    assert(nnz(image) > 100);
  end
  % Just below the threshold a vector is known and saturates the picture.
  assert(isequal(flowToColour(cat(3, 7e8, 7e8)), flowToColour(cat(3, 1, 1))));

  % integerFlow of its own output would swap the planes back: refused.
  steps = integerFlow(flow);
  expect_error(@() integerFlow(steps), ...
    'FLOW is int16, the class integerFlow returns; pass the flow of denseMotion or readFlo.', ...
    'motionseg:integerFlow:class');
  assert(isequal(integerFlow(int32(flow)), steps));   % other integer classes are flows

  % Errors that carried no identifier. {call, identifier}
  path3 = reshape('abcd', 1, 2, 2);
  cases = {
    @() flowToColour(flow, sparse(3)),      'motionseg:flowToColour:class'
    @() readFlo(path3),                     'motionseg:readFlo:class'
    @() writeFlo(path3, flow),              'motionseg:writeFlo:class'
    @() readFlo(''),                        'motionseg:readFlo:class'
    @() writeFlo(['ab'; 'cd'], flow),       'motionseg:writeFlo:class'
    @() flowColourWheel(sparse(31)),        'motionseg:flowColourWheel:class'
    @() motionseg_setup(1),                 'motionseg:motionseg_setup:class'
  };
  for k = 1:rows(cases)
    try
      cases{k, 1}();
      error('test:helpers', 'case %d raised no error', k);
    catch err
      assert(strcmp(err.identifier, cases{k, 2}), sprintf('case %d: [%s] %s', k, ...
             err.identifier, err.message));
    end
  end

  % writeFlo writes beside the target and renames: a write that fails (here: a file size
  % limit, as a full disk would) leaves the old file as it was and no temporary behind.
  folder = tempname();
  mkdir(folder);
  cleanup = onCleanup(@() remove_folder(folder));
  target = fullfile(folder, 'old.flo');
  writeFlo(target, flow);
  before = file_bytes(target);
  toolbox = fileparts(which('writeFlo'));
  scripts = tempname();
  mkdir(scripts);
  cleanup_scripts = onCleanup(@() remove_folder(scripts));
  script = fullfile(scripts, 'write_big.m');
  fid = fopen(script, 'w');
  fprintf(fid, ['addpath(''%s'');\ntry\n  writeFlo(''%s'', zeros(100, 100, 2));\n  exit(3);\n' ...
                'catch e\n  disp(e.identifier);\n  exit(0);\nend\n'], toolbox, target);
  fclose(fid);
  % SIGXFSZ ignored, so that the write beyond 4 kB fails with an error instead of a signal.
  [status, text] = system(sprintf( ...
    'bash -c ''trap "" XFSZ; ulimit -f 4; exec octave-cli --no-gui "%s"'' 2>&1', script));
  assert(status == 0 && ~isempty(strfind(text, 'motionseg:writeFlo:file')), text);
  assert(isequal(file_bytes(target), before), 'the old file was changed');
  listing = dir(folder);
  assert(isequal(sort({listing(~[listing.isdir]).name}), {'old.flo'}), 'a temporary was left');
  % A successful write replaces the file whole.
  writeFlo(target, 2 * flow);
  assert(isequal(readFlo(target), 2 * flow));
end

function bytes = file_bytes(path)
  fid = fopen(path, 'r');
  bytes = fread(fid, Inf, 'uint8=>uint8');
  fclose(fid);
end

function remove_folder(path)
  confirm_recursive_rmdir(false, 'local');
  if exist(path, 'dir')
    rmdir(path, 's');
  end
end
