function [built, commands] = compile_toolbox(outdir, names, options)
% compile_toolbox  Builds the toolbox's plug-ins with the host's own mex command.
%
%   compile_toolbox
%   compile_toolbox(OUTDIR)
%   compile_toolbox(OUTDIR, NAMES)
%   compile_toolbox(OUTDIR, NAMES, OPTIONS)
%   [BUILT, COMMANDS] = compile_toolbox(...)
%
%   For users without CMake, in MATLAB or GNU Octave. It reads the sources of every plug-in
%   from plugins.txt and their compiler flags from compile_flags.txt, the lists the CMake build
%   reads too, so the plug-ins compute the same bits as those of `make build` (the optimisation
%   of a Release build, the flow's flags that keep every rounding as written, and the
%   instruction sets of the files with vector kernels, each given only to its own file). The
%   source tree is looked for above this folder: the top of a git checkout (toolbox/ beside
%   plugins.txt) or an unpacked Octave package (inst/ beside src/plugins.txt).
%
%   Inputs
%     OUTDIR   folder for the plug-ins. Default: this folder, beside the help files, where
%              `help NAME` finds them.
%     NAMES    cell array of plug-in names to build. Default (or empty): every plug-in of
%              plugins.txt.
%     OPTIONS  struct with any of these fields:
%                dryRun    true: only list the commands (COMMANDS), compile nothing.
%                verbose   true: mex shows every compiler command line (mex -v).
%              and, for a dry run only, the build to list the commands of (each defaults to
%              the running one):
%                host      'matlab' or 'octave'
%                compiler  'gcc' (GCC, clang and MinGW: flags as compile_flags.txt writes
%                          them) or 'msvc' (Microsoft's compiler: its own flags)
%                arch      'x86_64', 'x86' (32-bit: every source is compiled for the SSE
%                          registers, never the x87 unit) or another processor
%
%   Outputs
%     BUILT     cell array of the names built, in the order of plugins.txt.
%     COMMANDS  struct array, one element per mex call in order: step ('compile' or 'link'),
%               file (the source compiled or the plug-in linked), environment (K-by-2 cell
%               array of the variables set for the call and their values: mkoctfile takes its
%               flags from them) and arguments (the arguments of mex).
%
%   Each source is compiled once into a temporary folder and the plug-ins are linked from the
%   objects. GNU Octave builds .mex files without OpenMP (the plug-ins use their own threads);
%   MATLAB on Linux builds .mexa64 files with the C++ runtime linked in, so that MATLAB's own
%   older libstdc++ cannot refuse them. The flags compile_flags.txt gives in GCC's form reach
%   Microsoft's compiler as their equivalents (-O3 /O2, -D /D, -mavx2 /arch:AVX2, the AVX-512
%   flags /arch:AVX512, -ffp-contract=off /fp:precise, which contracts nothing from Visual
%   Studio 2022 on); the flags that change no rounding and have no equivalent there
%   (-fno-math-errno, -fno-trapping-math) are left out. The environment variables the compile
%   needs are restored when it ends, also after an error.
%
%   Errors (identifiers)
%     motionseg:compile_toolbox:class       OUTDIR not a character row, NAMES not a cell array
%                                           of character rows, OPTIONS not a struct
%     motionseg:compile_toolbox:options     an unknown option or value, or host, compiler or
%                                           arch without dryRun
%     motionseg:compile_toolbox:noSources   no plugins.txt above this folder
%     motionseg:compile_toolbox:unknown     a name in NAMES that plugins.txt does not list
%     motionseg:compile_toolbox:outdir      OUTDIR cannot be created
%     motionseg:compile_toolbox:flag        a flag of compile_flags.txt without an equivalent
%                                           for Microsoft's compiler
%     motionseg:compile_toolbox:compiler    MATLAB has no C++ compiler selected (mex -setup C++)
%
%   Example
%     compile_toolbox                      % every plug-in, into this folder
%     compile_toolbox(tempdir, {'edgeTrim'})
%     [~, c] = compile_toolbox(tempdir, {'denseMotion'}, ...
%                              struct('dryRun', true, 'host', 'matlab', 'compiler', 'msvc'));
%
%   See also motionseg_setup, Contents.
  if nargin >= 1 && ~isempty(outdir) && ~(ischar(outdir) && ndims(outdir) == 2 && ...
                                            size(outdir, 1) == 1)
    error('motionseg:compile_toolbox:class', 'OUTDIR must be a character row.');
  end
  if nargin >= 2 && ~isempty(names) && ~iscellstr(names)
    error('motionseg:compile_toolbox:class', 'NAMES must be a cell array of plug-in names.');
  end
  if nargin < 3
    options = struct();
  end
  build = build_options(options);
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
  if nargin >= 2 && ~isempty(names)
    unknown = setdiff(names, plugins(:, 1));
    if ~isempty(unknown)
      error('motionseg:compile_toolbox:unknown', 'plugins.txt lists no plug-in %s.', unknown{1});
    end
    plugins = plugins(ismember(plugins(:, 1), names), :);
  end
  if ~build.dryRun && ~exist(outdir, 'dir') && ~mkdir(outdir)
    error('motionseg:compile_toolbox:outdir', 'Cannot create the folder %s.', outdir);
  end

  if strcmp(build.host, 'octave') && ~build.dryRun
    % mkoctfile takes its flags from environment variables: put them back afterwards.
    restore = keep_environment({'CFLAGS', 'CXXFLAGS', 'XTRA_CXXFLAGS'}); %#ok<NASGU>
  end
  objdir = tempname();
  if ~build.dryRun
    mkdir(objdir);
    cleanup = onCleanup(@() remove_folder(objdir)); %#ok<NASGU>
  end

  objects = struct('source', {}, 'file', {});
  commands = struct('step', {}, 'file', {}, 'environment', {}, 'arguments', {});
  built = cell(1, 0);
  for k = 1:size(plugins, 1)
    name = plugins{k, 1};
    if ~build.dryRun
      fprintf('compiling %s\n', name);
    end
    files = cell(1, numel(plugins{k, 2}));
    for s = 1:numel(plugins{k, 2})
      source = plugins{k, 2}{s};
      known = strcmp({objects.source}, source);
      if any(known)
        files{s} = objects(known).file;
        continue;
      end
      [release, other] = source_flags(flags, source);
      [files{s}, commands(end + 1)] = compile_source(root, source, release, other, objdir, ...
                                                     build); %#ok<AGROW>
      objects(end + 1) = struct('source', source, 'file', files{s}); %#ok<AGROW>
    end
    commands(end + 1) = link_plugin(name, files, outdir, build); %#ok<AGROW>
    built{end + 1} = name; %#ok<AGROW>
  end
  if ~build.dryRun
    % Let the running session find the new plug-ins rather than the help files of the same
    % name.
    rehash;
  end
end

function build = build_options(options)
% The options with their defaults: the running host, its compiler and processor.
  if ~isstruct(options) || ~isscalar(options)
    error('motionseg:compile_toolbox:class', 'OPTIONS must be a struct.');
  end
  known = {'dryRun', 'verbose', 'host', 'compiler', 'arch'};
  given = fieldnames(options);
  unknown = setdiff(given, known);
  if ~isempty(unknown)
    error('motionseg:compile_toolbox:options', 'Unknown option %s (known: %s).', unknown{1}, ...
          strjoin(known, ', '));
  end
  build = struct('dryRun', false, 'verbose', false, 'host', '', 'compiler', '', 'arch', '');
  for k = 1:numel(given)
    build.(given{k}) = options.(given{k});
  end
  build.dryRun = logical(build.dryRun);
  build.verbose = logical(build.verbose);
  chosen = ~cellfun(@isempty, {build.host, build.compiler, build.arch});
  if any(chosen) && ~build.dryRun
    error('motionseg:compile_toolbox:options', ...
          'The options host, compiler and arch describe another build: give them with dryRun.');
  end
  if isempty(build.host)
    build.host = running_host();
  end
  if isempty(build.compiler)
    build.compiler = running_compiler(build.host);
  end
  if isempty(build.arch)
    build.arch = running_arch();
  end
  check_choice('host', build.host, {'matlab', 'octave'});
  check_choice('compiler', build.compiler, {'gcc', 'msvc'});
  if strcmp(build.host, 'octave') && strcmp(build.compiler, 'msvc')
    error('motionseg:compile_toolbox:options', 'GNU Octave compiles with GCC (mkoctfile).');
  end
  if ~ischar(build.arch)
    error('motionseg:compile_toolbox:options', 'The option arch must be a character row.');
  end
end

function check_choice(option, value, choices)
  if ~ischar(value) || ~any(strcmp(value, choices))
    error('motionseg:compile_toolbox:options', 'The option %s must be one of: %s.', option, ...
          strjoin(choices, ', '));
  end
end

function host = running_host()
  if exist('OCTAVE_VERSION', 'builtin') ~= 0
    host = 'octave';
  else
    host = 'matlab';
  end
end

function compiler = running_compiler(host)
% GNU Octave's mkoctfile calls the GCC (or clang) it was built with, also on Windows
% (MinGW). MATLAB's mex calls the C++ compiler chosen by mex -setup: Microsoft's (and
% Intel's, which takes the same flags on Windows) or a GCC-like one (GCC, clang, MinGW).
  compiler = 'gcc';
  if strcmp(host, 'octave') || strcmp(running_host(), 'octave')
    return;  % (a dry run for MATLAB in GNU Octave: GCC unless told otherwise)
  end
  selected = mex.getCompilerConfigurations('C++', 'Selected');
  if isempty(selected)
    error('motionseg:compile_toolbox:compiler', ...
          'MATLAB has no C++ compiler selected: run mex -setup C++ first.');
  end
  short_name = lower(selected(1).ShortName);
  if ispc() && isempty(strfind(short_name, 'mingw')) %#ok<STREMP>
    compiler = 'msvc';
  end
end

function arch = running_arch()
% The processor the plug-ins are built for: computer() names MATLAB's platform (PCWIN64,
% GLNXA64, MACI64, MACA64, PCWIN for 32-bit Windows) or GNU Octave's target triplet.
  platform = computer();
  if any(strcmp(platform, {'PCWIN64', 'GLNXA64', 'MACI64'})) || ...
     ~isempty(regexp(platform, '^(x86_64|amd64)', 'once'))
    arch = 'x86_64';
  elseif any(strcmp(platform, {'PCWIN', 'GLNX86'})) || ...
         ~isempty(regexp(platform, '^i[3-6]86', 'once'))
    arch = 'x86';
  else
    arch = regexprep(lower(platform), '-.*$', '');
  end
end

function [release, other] = source_flags(flags, source)
% The flags compile_flags.txt gives one source: the release line's apart, then those of
% every folder line whose folder holds it and every line naming it, in the order of the file.
  release = {};
  other = {};
  for k = 1:size(flags, 1)
    pattern = flags{k, 1};
    if strcmp(pattern, 'release')
      release = [release, flags{k, 2}]; %#ok<AGROW>
    elseif strcmp(pattern, source) || ...
           (pattern(end) == '/' && strncmp(source, pattern, numel(pattern)))
      other = [other, flags{k, 2}]; %#ok<AGROW>
    end
  end
end

function translated = compiler_flags(flags, build)
% The flags in the form of the build's compiler.
  if strcmp(build.compiler, 'gcc')
    translated = flags;
    return;
  end
  translated = {};
  for k = 1:numel(flags)
    flag = flags{k};
    if any(strcmp(flag, {'-O1', '-O2', '-O3'}))
      add = {'/O2'};
    elseif strncmp(flag, '-D', 2) || strncmp(flag, '-U', 2) || strncmp(flag, '-I', 2)
      add = {['/' flag(2:end)]};
    elseif strcmp(flag, '-ffp-contract=off')
      add = {'/fp:precise'};
    elseif any(strcmp(flag, {'-fno-math-errno', '-fno-trapping-math', '-mfpmath=sse'}))
      add = {};  % no equivalent, and none needed: they change no rounding
    elseif strcmp(flag, '-mavx2')
      add = {'/arch:AVX2'};
    elseif any(strcmp(flag, {'-mavx512f', '-mavx512vl', '-mavx512bw', '-mavx512dq'}))
      add = {'/arch:AVX512'};
    elseif strcmp(flag, '-msse2')
      add = {};  % the baseline of every x86 target of Microsoft's compiler (below for 32 bits)
    else
      error('motionseg:compile_toolbox:flag', ...
            'compile_flags.txt gives %s, for which compile_toolbox knows no MSVC flag.', flag);
    end
    for a = 1:numel(add)
      if ~any(strcmp(add{a}, translated))
        translated{end + 1} = add{a}; %#ok<AGROW>
      end
    end
  end
  arch = strncmp(translated, '/arch:', 6);
  if sum(arch) > 1
    % The widest set wins (AVX-512 includes AVX2).
    translated(arch & ~strcmp(translated, '/arch:AVX512')) = [];
  end
end

function flags = target_flags(flags, build)
% A source's translated flags with those of the processor added: a 32-bit x86 build
% computes in the SSE registers, never the x87 unit, whose 80-bit intermediates would change
% float results.
  if ~strcmp(build.arch, 'x86')
    return;
  end
  if strcmp(build.compiler, 'gcc')
    flags = [{'-msse2', '-mfpmath=sse'}, flags];
  elseif ~any(strncmp(flags, '/arch:', 6))
    flags{end + 1} = '/arch:SSE2';
  end
end

function [file, command] = compile_source(root, source, release, other, objdir, build)
% Compiles one source into objdir, in a folder of its own relative path (two sources of one
% name in different folders must not overwrite each other's object).
  [folder, base] = fileparts(source);
  into = fullfile(objdir, folder);
  if ~build.dryRun && ~exist(into, 'dir')
    mkdir(into);
  end
  path = fullfile(root, source);
  verbose = {};
  if build.verbose
    verbose = {'-v'};
  end
  environment = cell(0, 2);
  if strcmp(build.host, 'octave')
    % mkoctfile takes its flags from the environment. Its defaults add -g (and with it
    % MEX_DEBUG) and OpenMP, which the CMake build does not use.
    flags = target_flags(compiler_flags([release, other], build), build);
    options = sprintf(' %s', flags{:});
    environment = {'CFLAGS', strtrim(options); 'CXXFLAGS', ['-std=c++17' options]; ...
                   'XTRA_CXXFLAGS', '-pthread'};
    file = fullfile(into, [base '.o']);
    arguments = [verbose, {'-c', ['-I' root], path, '-o', file}];
  elseif strcmp(build.compiler, 'msvc')
    % MATLAB's mex with Microsoft's compiler: its flags in COMPFLAGS, the optimisation in
    % OPTIMFLAGS (used unless -g is given).
    file = fullfile(into, [base '.obj']);
    flags = target_flags(compiler_flags(other, build), build);
    arguments = [verbose, {'-c', '-largeArrayDims', ['-I' root], ...
                 ['COMPFLAGS=$COMPFLAGS /std:c++17' sprintf(' %s', flags{:})], ...
                 ['OPTIMFLAGS=' strjoin(compiler_flags(release, build), ' ')], '-outdir', into, path}];
  else
    % MATLAB's mex with GCC, clang or MinGW: the flags in CXXFLAGS, the optimisation in
    % CXXOPTIMFLAGS (used unless -g is given).
    file = fullfile(into, [base '.o']);
    flags = target_flags(compiler_flags(other, build), build);
    arguments = [verbose, {'-c', '-largeArrayDims', ['-I' root], ...
                 ['CXXFLAGS=$CXXFLAGS -std=c++17' sprintf(' %s', flags{:})], ...
                 ['CXXOPTIMFLAGS=' strjoin(release, ' ')], '-outdir', into, path}];
  end
  command = struct('step', 'compile', 'file', source, 'environment', {environment}, ...
                   'arguments', {arguments});
  if build.dryRun
    return;
  end
  for k = 1:size(environment, 1)
    setenv(environment{k, 1}, environment{k, 2});
  end
  mex(arguments{:});
  if ~strcmp(build.host, 'octave')
    listing = dir(fullfile(into, [base '.o*']));
    file = fullfile(into, listing(1).name);
  end
end

function command = link_plugin(name, files, outdir, build)
  if strcmp(build.host, 'octave')
    arguments = {'-o', fullfile(outdir, [name '.mex']), files{:}};
  elseif strcmp(build.compiler, 'gcc') && isunix() && ~ismac()
    arguments = {'-largeArrayDims', 'LDFLAGS=$LDFLAGS -static-libstdc++ -static-libgcc', ...
                 '-outdir', outdir, '-output', name, files{:}};
  else
    arguments = {'-largeArrayDims', '-outdir', outdir, '-output', name, files{:}};
  end
  command = struct('step', 'link', 'file', name, 'environment', {cell(0, 2)}, ...
                   'arguments', {arguments});
  if ~build.dryRun
    mex(arguments{:});
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
