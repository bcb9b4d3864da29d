function test_compile_toolbox()
% compile_toolbox from a checkout (toolbox/ beside plugins.txt): a chosen subset of plug-ins,
% built from the list's sources, loads and computes what the CMake build computes, and the
% environment variables the compile goes through are as before. (tests/package builds every
% plug-in from an unpacked package.)
  here = fileparts(mfilename('fullpath'));
  toolbox = fullfile(fileparts(fileparts(here)), 'toolbox');
  outdir = tempname();
  cleanup = onCleanup(@() remove_folder(outdir)); %#ok<NASGU>
  image = uint8(magic(9) > 40) * 200;
  expected = crossingCounts(image);       % the CMake build's plug-in, first on the path

  setenv('CXXFLAGS', '-DUSER_SETTING');
  unsetenv('XTRA_CXXFLAGS');
  % Called as a user does, with the toolbox folder current (a checkout's toolbox/ may hold
  % plug-ins copied there by `make build`, so the checks below run from elsewhere). In the order
  % of plugins.txt, whatever the order asked for; crossingRuns has three sources, one shared
  % with crossingCounts.
  previous = cd(toolbox);
  try
    built = compile_toolbox(outdir, {'crossingRuns', 'bitcode_distance', 'crossingCounts'});
    expect_error(@() compile_toolbox(outdir, {'regionSummary', 'noSuchPlugin'}), ...
                 'plugins.txt lists no plug-in noSuchPlugin.', 'motionseg:compile_toolbox:unknown');
  catch err
    cd(previous);
    rethrow(err);
  end
  cd(previous);
  assert(isequal(built, {'crossingCounts', 'crossingRuns', 'bitcode_distance'}), strjoin(built, ' '));
  assert(strcmp(getenv('CXXFLAGS'), '-DUSER_SETTING'), getenv('CXXFLAGS'));
  assert(isempty(getenv('XTRA_CXXFLAGS')), getenv('XTRA_CXXFLAGS'));
  files = dir(fullfile(outdir, '*.mex'));
  assert(isequal(sort({files.name}), {'bitcode_distance.mex', 'crossingCounts.mex', 'crossingRuns.mex'}));

  % The new plug-ins come first on the path and compute what the CMake build's do.
  addpath(outdir);
  rehash;
  assert(strcmp(which('crossingRuns'), fullfile(outdir, 'crossingRuns.mex')));
  assert(isequal(crossingRuns(image), expected));
  assert(isequal(bitcode_distance(logical(eye(3)), logical(ones(3, 2))), [2 2; 2 2; 2 2]));

  % Without the source tree above it (an installed copy), it says what it needs.
  lone = tempname();
  mkdir(lone);
  cleanup_lone = onCleanup(@() remove_folder(lone)); %#ok<NASGU>
  copyfile(fullfile(toolbox, 'compile_toolbox.m'), lone);
  copyfile(fullfile(toolbox, 'private'), fullfile(lone, 'private'));
  cd(lone);
  try
    compile_toolbox();
    err = struct('identifier', 'none', 'message', 'compile_toolbox without sources raised nothing');
  catch err
  end
  cd(previous);
  assert(strcmp(err.identifier, 'motionseg:compile_toolbox:noSources'), err.message);
end

function remove_folder(folder)
  if exist(folder, 'dir')
    confirm_recursive_rmdir(false, 'local');
    rmdir(folder, 's');
  end
end
