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
  % name, sources (relative to the source tree), whether it exports mexVersion
  plugins = {
    'denseMotion', {'flow/frontend/denseMotion.cpp', 'flow/frontend/run_flow.cpp', 'flow/frontend/descriptor_matching.cpp', 'flow/frontend/match_row_sse2.cpp', 'flow/frontend/orientation_histogram.cpp', 'flow/frontend/match_confidence.cpp', 'flow/solver/warping.cpp', 'flow/solver/pyramid.cpp', 'flow/solver/nonlinear_iteration.cpp', 'flow/solver/sor_sweep.cpp', 'flow/solver/diffusivity.cpp', 'flow/solver/flow_utilities.cpp', 'flow/solver/flow_file.cpp', 'flow/filters/NFilter.cpp', 'flow/filters/resampling.cpp', 'flow/numerics/NMath.cpp', 'flow/parallel/thread_pool.cpp', 'flow/parallel/instruction_set.cpp'}, true
    'regionSummary', {'superpixel/stats/regionSummary.cpp', 'superpixel/stats/region_summary.cpp'}, false
    'regionMotionLevel', {'superpixel/stats/regionMotionLevel.cpp', 'superpixel/stats/region_motion_level.cpp', 'superpixel/stats/frame_labels.cpp'}, false
    'regionCoverage', {'superpixel/stats/regionCoverage.cpp', 'superpixel/stats/region_coverage.cpp', 'superpixel/stats/frame_labels.cpp'}, false
    'paletteMerge', {'superpixel/stats/paletteMerge.cpp', 'superpixel/stats/palette_merge.cpp'}, false
    'edgeTrim', {'superpixel/stats/edgeTrim.cpp', 'superpixel/stats/edge_trim.cpp'}, false
    'frameNeighbours', {'superpixel/graphs/frameNeighbours.cpp', 'superpixel/graphs/frame_neighbours.cpp'}, false
    'trackNeighbours', {'superpixel/graphs/trackNeighbours.cpp', 'superpixel/graphs/track_neighbours.cpp'}, false
    'regionLinkage', {'superpixel/graphs/regionLinkage.cpp', 'superpixel/graphs/region_linkage.cpp'}, false
    'crossingCounts', {'crossing/crossingCounts.cpp', 'crossing/crossing_counts.cpp'}, false
    'crossingRuns', {'crossing/crossingRuns.cpp', 'crossing/print_matrix.cpp', 'crossing/crossing_counts.cpp'}, false
    'front_velocity', {'levelset/front_velocity.cpp', 'levelset/front_speed.cpp'}, true
    'surface_slope', {'levelset/surface_slope.cpp', 'levelset/upwind_gradient.cpp'}, true
    'surface_partials', {'levelset/surface_partials.cpp', 'levelset/central_differences.cpp'}, true
    'sign_flip', {'levelset/sign_flip.cpp', 'levelset/zero_crossings.cpp'}, true
    'trough_points', {'levelset/trough_points.cpp', 'levelset/window_minima.cpp'}, true
    'labelGapFill', {'levelset/labelGapFill.cpp', 'levelset/label_gap_fill.cpp'}, false
    'bitcode_distance', {'codes/bitcode_distance.cpp', 'codes/hamming_table.cpp'}, true
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
      mex(['-I' root], '-o', fullfile(outdir, [name '.mex']), sources{:});
    else
      mex('-largeArrayDims', ['-I' root], 'CXXFLAGS=$CXXFLAGS -std=c++17', ...
          '-outdir', outdir, '-output', name, sources{:});
    end
  end
  % Let the running session find the new plug-ins rather than the help files of the same name.
  rehash;
end
