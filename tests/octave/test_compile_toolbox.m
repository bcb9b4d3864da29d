function test_compile_toolbox()
% The compile script for users without CMake builds every function that has a help file from
% the tree's source list, and each plug-in it builds loads and answers a call without arguments
% with an error of its own.
  here = fileparts(mfilename('fullpath'));
  toolbox = fullfile(fileparts(fileparts(here)), 'toolbox');
  outdir = tempname();
  mkdir(outdir);
  cleanup = onCleanup(@() remove_folder(outdir)); %#ok<NASGU>
  % The script in the source tree (the current folder comes first on the path).
  previous = cd(toolbox);
  compile_toolbox(outdir);
  cd(previous);
  helps = dir(fullfile(toolbox, '*.m'));
  not_plugins = {'Contents', 'compile_toolbox', 'motionseg_demo'};
  built = 0;
  for k = 1:numel(helps)
    [~, name] = fileparts(helps(k).name);
    if any(strcmp(name, not_plugins))
      continue;
    end
    file = fullfile(outdir, [name '.mex']);
    assert(exist(file, 'file') == 3 || exist(file, 'file') == 2, ...
           sprintf('compile_toolbox built no %s.mex', name));
    built = built + 1;
  end
  assert(built > 0);
  % The plug-ins built here come first on the path for the rest of this session.
  addpath(outdir);
  rehash;
  % Each one loads (a source missing from the list leaves an undefined symbol, which fails the
  % load) and refuses a call without arguments with an error of its own.
  for k = 1:numel(helps)
    [~, name] = fileparts(helps(k).name);
    if any(strcmp(name, not_plugins))
      continue;
    end
    try
      feval(name);
      error('test:noerror', '%s() raised nothing', name);
    catch err
      assert(strncmp(err.message, [name ': '], numel(name) + 2), err.message);
    end
  end
  assert(strcmp(which('regionSummary'), fullfile(outdir, 'regionSummary.mex')));
  try
    regionSummary();
    error('test:noerror', 'regionSummary() raised nothing');
  catch err
    assert(strncmp(err.message, 'regionSummary: regionsSummary USAGE:', 36), err.message);
  end
end

function remove_folder(folder)
  confirm_recursive_rmdir(false);
  rmdir(folder, 's');
end
