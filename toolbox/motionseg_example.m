function summary = motionseg_example(folder, cell_size, superpixels)
% motionseg_example  The toolbox's steps on a folder of frames, with a picture of each step.
%
%   motionseg_example(FOLDER)
%   motionseg_example(FOLDER, CELL_SIZE)
%   motionseg_example(FOLDER, CELL_SIZE, SUPERPIXELS)
%   SUMMARY = motionseg_example(...)
%
%   Takes the PNG and JPEG frames of FOLDER in natural order of their names (frame2.png
%   before frame10.png) and, for every pair of consecutive frames:
%     1. the dense flow (denseMotion) and its picture (flowToColour): flow_K.png;
%     2. the flow as whole-pixel int16 steps (integerFlow);
%     3. superpixels of both frames: a grid of CELL_SIZE-by-CELL_SIZE cells, or the labels
%        SUPERPIXELS(FRAME) returns (H-by-W, labels 1..N of a frame);
%     4. the mean motion of every superpixel (regionMotionLevel), painted over its pixels:
%        motion_K.png (brightest: the fastest superpixel);
%     5. the flow-based links to the next frame's superpixels (trackNeighbours);
%     6. the motion boundaries (pixels whose integer step differs from that of the right or
%        lower neighbour) and their crossing counts (crossingCounts): crossings_K.png, each
%        count 0..8 drawn as 31 times its value.
%   K is the number of the pair's first frame. The pictures go to FOLDER/motionseg_example/,
%   beside the frames, with summary.txt: one line per pair. The Python module's
%   python/motionseg_example.py does the same steps and writes the same summary.
%
%   Inputs
%     FOLDER       folder of at least two frames of one size (grey frames are repeated in
%                  three channels).
%     CELL_SIZE    side of the grid cells in pixels. Default: 16.
%     SUPERPIXELS  function handle FRAME -> label map, used instead of the grid.
%
%   Output
%     SUMMARY  the lines of summary.txt, a cell array of char.
%
%   Example
%     motionseg_example('video/frames')            % pictures in video/frames/motionseg_example
%     motionseg_example('video/frames', 8)         % finer grid
%
%   See also denseMotion, integerFlow, regionMotionLevel, trackNeighbours, crossingCounts,
%   flowToColour.
  if nargin < 2 || isempty(cell_size)
    cell_size = 16;
  end
  if nargin < 3
    superpixels = [];
  end
  names = frame_names(folder);
  if numel(names) < 2
    error('motionseg:motionseg_example:value', '%s holds fewer than two PNG or JPEG frames.', ...
          folder);
  end
  out = fullfile(folder, 'motionseg_example');
  if ~exist(out, 'dir')
    mkdir(out);
  end

  summary = {};
  second = read_frame(fullfile(folder, names{1}));
  for k = 1:numel(names) - 1
    first = second;
    second = read_frame(fullfile(folder, names{k + 1}));
    % 1-2. Flow, its picture, its whole-pixel steps.
    flow = denseMotion(double(first), double(second));
    imwrite(flowToColour(flow), fullfile(out, sprintf('flow_%d.png', k)));
    steps = integerFlow(flow);
    % 3. Superpixels of both frames, numbered across the two for trackNeighbours.
    [labels1, n1] = frame_labels(first, cell_size, superpixels);
    [labels2, n2] = frame_labels(second, cell_size, superpixels);
    % 4. Mean motion of every superpixel, painted over its pixels.
    level = regionMotionLevel(steps, uint16(labels1), n1);
    [fastest_level, fastest] = max(level);
    painted = zeros(size(labels1));
    inside = labels1 > 0;
    painted(inside) = level(labels1(inside));
    imwrite(uint8(255 * painted / max(fastest_level, eps('single'))), ...
            fullfile(out, sprintf('motion_%d.png', k)));
    % 5. Links to the next frame's superpixels.
    second_labels = labels2;
    second_labels(second_labels > 0) = second_labels(second_labels > 0) + n1;
    [a, ~, ~] = trackNeighbours({steps}, {uint32(labels1), uint32(second_labels)}, n1 + n2);
    % 6. Motion boundaries and their crossing counts.
    moved = any(steps(:, [2:end end], :) ~= steps, 3) | any(steps([2:end end], :, :) ~= steps, 3);
    counts = crossingCounts(uint8(255 * moved));
    imwrite(uint8(31 * counts), fullfile(out, sprintf('crossings_%d.png', k)));
    summary{end + 1} = sprintf(['pair %d: %d superpixels, fastest %d (%.4f px), %d links, ' ...
                                '%d boundary pixels, %d crossing votes'], k, n1, fastest, ...
                               double(fastest_level), numel(a), nnz(moved), ...
                               sum(double(counts(:)))); %#ok<AGROW>
    fprintf('%s\n', summary{end});
  end
  fid = fopen(fullfile(out, 'summary.txt'), 'w');
  fprintf(fid, '%s\n', summary{:});
  fclose(fid);
  fprintf('Pictures and summary.txt are in %s\n', out);
end

function names = frame_names(folder)
% The frame files of folder in natural order: runs of digits compare by their value.
  files = [dir(fullfile(folder, '*.png')); dir(fullfile(folder, '*.PNG')); ...
           dir(fullfile(folder, '*.jpg')); dir(fullfile(folder, '*.jpeg'))];
  names = unique({files(~[files.isdir]).name});
  names = names(~strncmp(names, '.', 1));
  keys = cell(size(names));
  for k = 1:numel(names)
    parts = regexp(names{k}, '\d+|\D+', 'match');
    for p = 1:numel(parts)
      if all(isstrprop(parts{p}, 'digit'))
        digits = regexprep(parts{p}, '^0+(?=\d)', '');
        parts{p} = [repmat('0', 1, 40 - numel(digits)) digits];
      end
    end
    keys{k} = [parts{:}];
  end
  [~, order] = sort(keys);
  names = names(order);
end

function frame = read_frame(file)
  frame = imread(file);
  if size(frame, 3) == 1
    frame = repmat(frame, [1 1 3]);
  end
  frame = frame(:, :, 1:3);
end

function [labels, n] = frame_labels(frame, cell_size, superpixels)
% A grid of cells, or the user's superpixels, as labels 1..n.
  [h, w, ~] = size(frame);
  if isempty(superpixels)
    [c, r] = meshgrid(0:w - 1, 0:h - 1);
    columns = ceil(w / cell_size);
    labels = floor(r / cell_size) * columns + floor(c / cell_size) + 1;
  else
    labels = double(superpixels(frame));
  end
  n = max(labels(:));
end
