function built = compile_toolbox(outdir, names)
% compile_toolbox  Builds the toolbox's plug-ins with the host's own mex command.
%
%   compile_toolbox
%   compile_toolbox(OUTDIR)
%   compile_toolbox(OUTDIR, NAMES)
%   BUILT = compile_toolbox(...)
%
%   For users without CMake, in MATLAB or GNU Octave. It reads the sources of every plug-in
%   from plugins.txt and their compiler flags from compile_flags.txt, the lists the CMake build
%   reads too, so the plug-ins compute the same bits as those of `make build` (the optimisation
%   of a Release build, and the flow's flags that keep every rounding as written). The source
%   tree is looked for above this folder: the top of a git checkout (toolbox/ beside
%   plugins.txt) or an unpacked Octave package (inst/ beside src/plugins.txt).
%
%   Inputs
%     OUTDIR  folder for the plug-ins. Default: this folder, beside the help files, where
%             `help NAME` finds them.
%     NAMES   cell array of plug-in names to build. Default: every plug-in of plugins.txt.
%
%   Output
%     BUILT   cell array of the names built, in the order of plugins.txt.
%
%   Each source is compiled once into a temporary folder and the plug-ins are linked from the
%   objects. GNU Octave builds .mex files without OpenMP (the plug-ins use their own threads);
%   MATLAB on Linux builds .mexa64 files with the C++ runtime linked in, so that MATLAB's own
%   older libstdc++ cannot refuse them. The environment variables the compile needs are
%   restored when it ends, also after an error.
%
%   Errors (identifiers)
%     motionseg:compile_toolbox:class       OUTDIR not a character row, NAMES not a cell array
%                                           of character rows
%     motionseg:compile_toolbox:noSources   no plugins.txt above this folder
%     motionseg:compile_toolbox:unknown     a name in NAMES that plugins.txt does not list
%     motionseg:compile_toolbox:outdir      OUTDIR cannot be created
%
%   Example
%     compile_toolbox                      % every plug-in, into this folder
%     compile_toolbox(tempdir, {'edgeTrim'})
%
%   See also motionseg_setup, Contents.
  if nargin >= 1 && ~isempty(outdir) && ~(ischar(outdir) && ndims(outdir) == 2 && ...
                                            size(outdir, 1) == 1)
    error('motionseg:compile_toolbox:class', 'OUTDIR must be a character row.');
  end
  if nargin >= 2 && ~iscellstr(names)
    error('motionseg:compile_toolbox:class', 'NAMES must be a cell array of plug-in names.');
  end
  here = fileparts(mfilename('fullpath'));
  root = source_root(here);
  if isempty(root)
    error('motionseg:compile_toolbox:noSources', ...
          ['No plugins.txt above %s: compile_toolbox needs the source tree (a git checkout ' ...
           'or an unpacked motionseg package).'], here);
  end
  if nargin < 1 || isempty(outdir)
    outdir = here;
  end
  plugins = read_list(fullfile(root, 'plugins.txt'));
  flags = read_list(fullfile(root, 'compile_flags.txt'));
  if nargin >= 2
    unknown = setdiff(names, plugins(:, 1));
    if ~isempty(unknown)
      error('motionseg:compile_toolbox:unknown', 'plugins.txt lists no plug-in %s.', unknown{1});
    end
    plugins = plugins(ismember(plugins(:, 1), names), :);
  end
  if ~exist(outdir, 'dir') && ~mkdir(outdir)
    error('motionseg:compile_toolbox:outdir', 'Cannot create the folder %s.', outdir);
  end

  is_octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
  if is_octave
    % mkoctfile takes its flags from environment variables: put them back afterwards.
    restore = keep_environment({'CFLAGS', 'CXXFLAGS', 'XTRA_CXXFLAGS'}); %#ok<NASGU>
  end
  objdir = tempname();
  mkdir(objdir);
  cleanup = onCleanup(@() remove_folder(objdir)); %#ok<NASGU>

  objects = struct('source', {}, 'file', {});
  built = cell(1, 0);
  for k = 1:size(plugins, 1)
    name = plugins{k, 1};
    fprintf('compiling %s\n', name);
    files = cell(1, numel(plugins{k, 2}));
    for s = 1:numel(plugins{k, 2})
      source = plugins{k, 2}{s};
      known = strcmp({objects.source}, source);
      if any(known)
        files{s} = objects(known).file;
        continue;
      end
      files{s} = compile_source(root, source, source_flags(flags, source), objdir, is_octave);
      objects(end + 1) = struct('source', source, 'file', files{s}); %#ok<AGROW>
    end
    link_plugin(name, files, outdir, is_octave);
    built{end + 1} = name; %#ok<AGROW>
  end
  % Let the running session find the new plug-ins rather than the help files of the same name.
  rehash;
end

function f = source_flags(flags, source)
% The flags compile_flags.txt gives one source: the release line, then every folder line
% whose folder holds it and every line naming it, in the order of the file.
  f = {};
  for k = 1:size(flags, 1)
    pattern = flags{k, 1};
    if strcmp(pattern, 'release') || strcmp(pattern, source) || ...
       (pattern(end) == '/' && strncmp(source, pattern, numel(pattern)))
      f = [f, flags{k, 2}]; %#ok<AGROW>
    end
  end
end

function file = compile_source(root, source, flags, objdir, is_octave)
% Compiles one source into objdir, in a folder of its own relative path (two sources of one
% name in different folders must not overwrite each other's object).
  [folder, base] = fileparts(source);
  into = fullfile(objdir, folder);
  if ~exist(into, 'dir')
    mkdir(into);
  end
  path = fullfile(root, source);
  options = sprintf(' %s', flags{:});
  if is_octave
    % mkoctfile takes its flags from the environment. Its defaults add -g (and with it
    % MEX_DEBUG) and OpenMP, which the CMake build does not use.
    setenv('CFLAGS', strtrim(options));
    setenv('CXXFLAGS', ['-std=c++17' options]);
    setenv('XTRA_CXXFLAGS', '-pthread');
    file = fullfile(into, [base '.o']);
    mex('-c', ['-I' root], path, '-o', file);
  else
    % MATLAB's mex: the optimisation flags go into CXXOPTIMFLAGS (used unless -g is given).
    release = strcmp(flags, '-O3') | strcmp(flags, '-DNDEBUG');
    other = sprintf(' %s', flags{~release});
    mex('-c', '-largeArrayDims', ['-I' root], ['CXXFLAGS=$CXXFLAGS -std=c++17' other], ...
        'CXXOPTIMFLAGS=-O3 -DNDEBUG', '-outdir', into, path);
    listing = dir(fullfile(into, [base '.o*']));
    file = fullfile(into, listing(1).name);
  end
end

function link_plugin(name, files, outdir, is_octave)
  if is_octave
    mex('-o', fullfile(outdir, [name '.mex']), files{:});
  elseif isunix() && ~ismac()
    mex('-largeArrayDims', 'LDFLAGS=$LDFLAGS -static-libstdc++ -static-libgcc', ...
        '-outdir', outdir, '-output', name, files{:});
  else
    mex('-largeArrayDims', '-outdir', outdir, '-output', name, files{:});
  end
end

function restore = keep_environment(names)
% An object that puts the given environment variables back as they are now when it is
% cleared (set to their value, or unset when empty), whatever ends the function holding it.
  values = cellfun(@getenv, names, 'UniformOutput', false);
  restore = onCleanup(@() put_back(names, values));
end

function put_back(names, values)
  for k = 1:numel(names)
    if isempty(values{k})
      unsetenv(names{k});
    else
      setenv(names{k}, values{k});
    end
  end
end

function remove_folder(folder)
  if exist(folder, 'dir')
    if exist('confirm_recursive_rmdir', 'builtin') || exist('confirm_recursive_rmdir', 'file')
      confirm_recursive_rmdir(false, 'local');
    end
    rmdir(folder, 's');
  end
end
