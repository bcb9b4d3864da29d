function test_compile_toolbox_flags()
% The flags compile_toolbox hands each source, for every host and compiler it knows (listed by
% its dry run), against compile_flags.txt read here: GCC-like compilers get the listed flags
% of each file exactly, Microsoft's their equivalents, a 32-bit build the SSE flags on every
% source. Then a real compile shows the flags reaching g++.
  here = fileparts(mfilename('fullpath'));
  root = fileparts(fileparts(here));
  toolbox = fullfile(root, 'toolbox');
  listed = read_lines(fullfile(root, 'compile_flags.txt'));
  plugins = read_lines(fullfile(root, 'plugins.txt'));
  previous = cd(toolbox);
  restore = onCleanup(@() cd(previous)); %#ok<NASGU>

  % GCC's flag and what Microsoft's compiler gets for it ('' for nothing).
  msvc = {'-O3', '/O2'; '-DNDEBUG', '/DNDEBUG'; '-ffp-contract=off', '/fp:precise'; ...
          '-DMOTIONSEG_FLOW_AVX2=1', '/DMOTIONSEG_FLOW_AVX2=1'; ...
          '-DMOTIONSEG_FLOW_AVX512=1', '/DMOTIONSEG_FLOW_AVX512=1'; '-fno-math-errno', ''; ...
          '-fno-trapping-math', ''; '-mavx2', '/arch:AVX2'; '-mavx512f', '/arch:AVX512'; ...
          '-mavx512vl', '/arch:AVX512'; '-mavx512bw', '/arch:AVX512'; '-mavx512dq', '/arch:AVX512'};
  builds = {'octave', 'gcc', 'x86_64'; 'octave', 'gcc', 'x86'; 'matlab', 'gcc', 'x86_64'; ...
            'matlab', 'gcc', 'x86'; 'matlab', 'msvc', 'x86_64'; 'matlab', 'msvc', 'x86'};
  avx2_sources = 0;
  for b = 1:rows(builds)
    [host, compiler, arch] = builds{b, :};
    what = sprintf('%s, %s, %s', host, compiler, arch);
    [built, commands] = compile_toolbox(tempname(), {}, struct('dryRun', true, 'host', host, ...
                                                             'compiler', compiler, 'arch', arch));
    assert(isequal(built, plugins(:, 1)'), what);
    compiled = commands(strcmp({commands.step}, 'compile'));
    linked = commands(strcmp({commands.step}, 'link'));
    sources = unique([plugins{:, 2}]);
    % Every source compiled once, every plug-in linked from one object per source.
    assert(isequal(sort({compiled.file}), sort(sources)), what);
    assert(isequal({linked.file}, plugins(:, 1)'), what);
    for k = 1:numel(linked)
      assert(numel(linked(k).arguments) >= numel(plugins{k, 2}), what);
    end
    for k = 1:numel(compiled)
      source = compiled(k).file;
      [release, other] = listed_flags(listed, source);
      [optimised, given] = flags_of(compiled(k), host, compiler);
      if strcmp(compiler, 'gcc')
        sse = {};
        if strcmp(arch, 'x86')
          sse = {'-msse2', '-mfpmath=sse'};
        end
        if strcmp(host, 'octave')
          assert(isequal(given, [sse, release, other]), '%s, %s: %s', what, source, strjoin(given));
        else
          assert(isequal(optimised, release), '%s, %s', what, source);
          assert(isequal(given, [sse, other]), '%s, %s: %s', what, source, strjoin(given));
        end
      else
        assert(~any(strncmp([optimised, given], '-', 1)), '%s, %s: a GCC flag', what, source);
        assert(isequal(optimised, unique_in_order(translate(msvc, release))), '%s, %s', what, source);
        expected = unique_in_order(translate(msvc, other));
        arch_flags = strncmp(expected, '/arch:', 6);
        if any(strcmp(expected, '/arch:AVX512'))
          expected(arch_flags & ~strcmp(expected, '/arch:AVX512')) = [];
        elseif ~any(arch_flags) && strcmp(arch, 'x86')
          expected{end + 1} = '/arch:SSE2';
        end
        assert(isequal(given, expected), '%s, %s: %s', what, source, strjoin(given));
      end
      if any(strcmp(other, '-mavx2'))
        avx2_sources = avx2_sources + 1;
      end
    end
  end
  % The vector kernels' files are among them (in every build).
  assert(avx2_sources >= 2 * rows(builds), 'no AVX2 source seen');

  % Options that describe no build, and another build without a dry run.
  bad = {struct('dryRun', true, 'compiler', 'msvc', 'host', 'octave'), ...
           'GNU Octave compiles with GCC (mkoctfile).'; ...
         struct('dryRun', true, 'host', 'matlab', 'compiler', 'icc'), ...
           'The option compiler must be one of: gcc, msvc.'; ...
         struct('host', 'matlab'), ...
           'The options host, compiler and arch describe another build: give them with dryRun.'; ...
         struct('dryRun', true, 'speed', 3), ...
           'Unknown option speed (known: dryRun, verbose, host, compiler, arch).'};
  for k = 1:rows(bad)
    expect_error(@() compile_toolbox(tempname(), {'edgeTrim'}, bad{k, 1}), bad{k, 2}, ...
                 'motionseg:compile_toolbox:options');
  end
  expect_error(@() compile_toolbox(tempname(), {'edgeTrim'}, 3), 'OPTIONS must be a struct.', ...
               'motionseg:compile_toolbox:class');

  % A real compile: mkoctfile's g++ command line holds the listed flags.
  outdir = tempname();
  cleanup = onCleanup(@() remove_folder(outdir)); %#ok<NASGU>
  printed = evalc('compile_toolbox(outdir, {''crossingCounts''}, struct(''verbose'', true))');
  [release, other] = listed_flags(listed, 'crossing/crossing_counts.cpp');
  wanted = strjoin([{'-std=c++17'}, release, other], ' ');
  assert(~isempty(strfind(printed, [wanted ' '])), printed);
  assert(isempty(strfind(printed, '-mavx2')), printed);
  assert(exist(fullfile(outdir, 'crossingCounts.mex'), 'file') == 3, printed);
end

function [release, other] = listed_flags(listed, source)
% What compile_flags.txt gives a source: the release line, then the lines of its folders
% and of the file itself, in the order of the file.
  release = {};
  other = {};
  for k = 1:rows(listed)
    pattern = listed{k, 1};
    if strcmp(pattern, 'release')
      release = [release, listed{k, 2}];
    elseif strcmp(pattern, source) || (pattern(end) == '/' && strncmp(source, pattern, numel(pattern)))
      other = [other, listed{k, 2}];
    end
  end
end

function [optimised, given] = flags_of(command, host, compiler)
% The flags of a compile command: for GNU Octave all in CXXFLAGS (after -std=c++17), for
% MATLAB the optimisation in (CXX)OPTIMFLAGS and the others in CXXFLAGS or COMPFLAGS after
% the standard.
  optimised = {};
  if strcmp(host, 'octave')
    env = command.environment;
    given = strsplit(env{strcmp(env(:, 1), 'CXXFLAGS'), 2}, ' ');
    assert(strcmp(given{1}, '-std=c++17'));
    given = given(2:end);
    return;
  end
  if strcmp(compiler, 'gcc')
    prefixes = {'CXXOPTIMFLAGS=', 'CXXFLAGS=$CXXFLAGS -std=c++17'};
  else
    prefixes = {'OPTIMFLAGS=', 'COMPFLAGS=$COMPFLAGS /std:c++17'};
  end
  values = cell(1, 2);
  for p = 1:2
    at = find(strncmp(command.arguments, prefixes{p}, numel(prefixes{p})));
    assert(numel(at) == 1, '%s: %s', command.file, prefixes{p});
    values{p} = strsplit(strtrim(command.arguments{at}(numel(prefixes{p}) + 1:end)), ' ');
    values{p} = values{p}(~cellfun(@isempty, values{p}));
  end
  [optimised, given] = values{:};
end

function out = translate(table, flags)
  out = {};
  for k = 1:numel(flags)
    row = find(strcmp(table(:, 1), flags{k}));
    assert(numel(row) == 1, 'the test knows no MSVC flag for %s', flags{k});
    if ~isempty(table{row, 2})
      out{end + 1} = table{row, 2};
    end
  end
end

function out = unique_in_order(flags)
  out = {};
  for k = 1:numel(flags)
    if ~any(strcmp(out, flags{k}))
      out{end + 1} = flags{k};
    end
  end
end

function entries = read_lines(file)
  lines = strsplit(fileread(file), "\n");
  entries = cell(0, 2);
  for k = 1:numel(lines)
    fields = strsplit(strtrim(regexprep(lines{k}, '#.*$', '')));
    if isempty(fields{1})
      continue;
    end
    entries(end + 1, :) = {fields{1}, fields(2:end)};
  end
end

function remove_folder(folder)
  if exist(folder, 'dir')
    confirm_recursive_rmdir(false, 'local');
    rmdir(folder, 's');
  end
end
