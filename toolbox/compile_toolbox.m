function compile_toolbox()
% compile_toolbox  Builds the toolbox's plug-ins with the host's own mex command.
%
%   compile_toolbox
%
%   For users without CMake: run it from MATLAB (or GNU Octave) with this folder as the
%   current folder or on the path. The plug-ins are written into this folder, beside their
%   help files. With CMake, `make build` at the top of the source tree does the same.
%
%   See also Contents.
  here = fileparts(mfilename('fullpath'));
  root = fileparts(here);
  % name, sources (relative to the source tree), whether it exports mexVersion
  plugins = {
    'regionSummary', {'superpixel/stats/regionSummary.cpp', 'superpixel/stats/region_summary.cpp'}, false
  };
  is_octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
  for k = 1:size(plugins, 1)
    name = plugins{k, 1};
    sources = fullfile(root, plugins{k, 2});
    if plugins{k, 3}
      sources{end + 1} = fullfile(root, 'gateway', 'mex_version.cpp'); %#ok<AGROW>
    end
    fprintf('compiling %s\n', name);
    if is_octave
      setenv('CXXFLAGS', '-std=c++17 -O2');
      mex(['-I' root], '-o', fullfile(here, [name '.mex']), sources{:});
    else
      mex('-largeArrayDims', ['-I' root], 'CXXFLAGS=$CXXFLAGS -std=c++17', ...
          '-outdir', here, '-output', name, sources{:});
    end
  end
end
