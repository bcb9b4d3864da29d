function compile_toolbox(outdir)
% compile_toolbox  Builds the toolbox's plug-ins with the host's own mex command.
%
%   compile_toolbox
%   compile_toolbox(OUTDIR)
%
%   For users without CMake: run it from MATLAB (or GNU Octave) with this folder as the
%   current folder or on the path. The plug-ins are written into this folder, beside their
%   help files (or into OUTDIR when given). With CMake, `make build` at the top of the source tree does the same.
%
%   See also Contents.
  here = fileparts(mfilename('fullpath'));
  root = fileparts(here);
  if nargin < 1
    outdir = here;
  end
  plugins = read_plugin_list(fullfile(root, 'plugins.txt'));
  is_octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
  for k = 1:size(plugins, 1)
    name = plugins{k, 1};
    sources = fullfile(root, plugins{k, 2});
    fprintf('compiling %s\n', name);
    if is_octave
      setenv('CXXFLAGS', '-std=c++17 -O2');
      mex(['-I' root], '-o', fullfile(outdir, [name '.mex']), sources{:});
    else
      mex('-largeArrayDims', ['-I' root], 'CXXFLAGS=$CXXFLAGS -std=c++17', ...
          '-outdir', outdir, '-output', name, sources{:});
    end
  end
  % Let the running session find the new plug-ins rather than the help files of the same name.
  rehash;
end

function plugins = read_plugin_list(file)
% The source list of the tree (plugins.txt, shared with the CMake build): one line per
% plug-in, its name and then its sources relative to the top of the tree, separated by blanks;
% '#' starts a comment. Returns a K-by-2 cell array of names and cell arrays of sources.
  lines = regexp(fileread(file), '\r?\n', 'split');
  plugins = cell(0, 2);
  for k = 1:numel(lines)
    line = regexprep(lines{k}, '#.*$', '');
    fields = regexp(strtrim(line), '\s+', 'split');
    if isempty(fields) || isempty(fields{1})
      continue;
    end
    plugins(end + 1, :) = {fields{1}, fields(2:end)}; %#ok<AGROW>
  end
end
