function motionseg_demo(out_dir, flow_program)
% motionseg_demo  Runs the toolbox on a small generated video with known motion.
%
%   motionseg_demo
%   motionseg_demo(OUT_DIR)
%   motionseg_demo(OUT_DIR, FLOW_PROGRAM)
%
%   The video is made here, the same on every run: two textured squares moving over a
%   textured background while the camera pans, so the true flow of every pixel is known.
%   The demo
%     - computes denseMotion between consecutive frames and prints, for each pair, the
%       average endpoint error against the known flow and the time it took;
%     - writes the flow of the first pair to OUT_DIR/flow_1_2.flo (writeFlo), its picture
%       to OUT_DIR/flow_1_2_colour.png (flowToColour: hue is the direction, saturation the
%       length) and the legend of the colours beside it, OUT_DIR/flow_colour_wheel.png
%       (flowColourWheel);
%     - writes frames 1 and 2 as PNG files into OUT_DIR and runs the command-line program
%       flow_between on them, which writes its own .flo and picture
%       (OUT_DIR/flow_1_2_program.flo, OUT_DIR/flow_1_2_program.png), and reports whether
%       its flow and picture equal denseMotion's and flowToColour's;
%     - runs the superpixel functions that are built (regionSummary, frameNeighbours,
%       trackNeighbours, regionLinkage, regionMotionLevel, regionCoverage) on the same video
%       with 20-by-20 grid superpixels, feeding them the computed flow as whole-pixel steps
%       (integerFlow).
%   Functions whose plug-in is not built are skipped with a note.
%
%   Inputs
%     OUT_DIR       folder for the output files, created if needed. Default: 'out' in the
%                   current folder.
%     FLOW_PROGRAM  path of the flow_between program. Default: build/apps/flow_between
%                   beside this toolbox folder; when it is absent, that comparison is
%                   skipped.
%
%   `make demo` at the top of the source tree builds everything and runs this demo.
%
%   Errors (identifiers)
%     motionseg:motionseg_demo:class  OUT_DIR or FLOW_PROGRAM given but not a character row
%
%   Example
%     motionseg_demo('demo_out')
%
%   See also denseMotion, writeFlo, flowToColour, flowColourWheel, integerFlow,
%   regionSummary, frameNeighbours, trackNeighbours, regionLinkage, regionMotionLevel,
%   regionCoverage.
  if nargin >= 1
    check_text(out_dir, 'OUT_DIR');
  end
  if nargin >= 2
    check_text(flow_program, 'FLOW_PROGRAM');
  end
  here = fileparts(mfilename('fullpath'));
  if nargin < 1 || isempty(out_dir)
    out_dir = 'out';
  end
  if nargin < 2 || isempty(flow_program)
    flow_program = fullfile(fileparts(here), 'build', 'apps', 'flow_between');
  end
  if ~exist(out_dir, 'dir')
    mkdir(out_dir);
  end

  cell_size = 20;
  [frames, truth, inside, labels, n] = demo_video(6, 120, 160, cell_size);
  count = numel(frames);
  [h, w, ~] = size(frames{1});
  per_frame = n / count;
  fprintf('Generated video: %d frames of %dx%d pixels, two moving squares, %d grid superpixels\n', ...
          count, w, h, n);

  % ---- dense flow between consecutive frames, against the known flow
  flows = cell(1, count - 1);
  if built('denseMotion')
    fprintf('denseMotion (sigma 0.8, alpha 30, beta 300, gamma 5):\n');
    fprintf('  pair    endpoint error (px)   time (s)\n');
    total = 0;
    for f = 1:count - 1
      tic;
      flows{f} = denseMotion(double(frames{f}), double(frames{f + 1}));
      seconds = toc;
      total = total + seconds;
      d = flows{f} - truth{f};
      fprintf('  %d -> %d   %19.3f   %8.2f\n', f, f + 1, mean(mean(hypot(d(:, :, 1), d(:, :, 2)))), ...
              seconds);
    end
    fprintf('  mean time per pair: %.2f s\n', total / (count - 1));
    flo = fullfile(out_dir, 'flow_1_2.flo');
    writeFlo(flo, flows{1});
    picture = fullfile(out_dir, 'flow_1_2_colour.png');
    legend = fullfile(out_dir, 'flow_colour_wheel.png');
    imwrite(flowToColour(flows{1}), picture);
    imwrite(flowColourWheel(), legend);
    fprintf('  flow of frames 1 -> 2 written to %s, its picture to %s (legend: %s)\n', flo, ...
            picture, legend);
    compare_with_program(out_dir, frames, flows{1}, flow_program);
  else
    fprintf('denseMotion is not built: the superpixel functions get the known flow instead\n');
    flows = truth;
  end

  % The graph functions take whole-pixel flows with the row displacement first.
  steps = cellfun(@integerFlow, flows, 'UniformOutput', false);

  % ---- superpixel statistics and graphs on the same video
  if built('regionSummary')
    tic;
    [colour, centre, sz] = regionSummary(frames, labels, n);
    fprintf('regionSummary: %.1f ms for the whole video\n', 1000 * toc);
    fprintf('  label   size   centre (row, col)     mean colour (R, G, B)\n');
    for k = [1 2 n / 2 n]
      fprintf('  %5d  %5d   (%6.2f, %6.2f)   (%6.1f, %6.1f, %6.1f)\n', k, sz(k), ...
              centre(k, 1), centre(k, 2), colour(k, 1), colour(k, 2), colour(k, 3));
    end
  else
    skipped('regionSummary');
  end

  rows = h / cell_size;
  cols = w / cell_size;
  if built('frameNeighbours')
    [a, ~] = frameNeighbours(labels, n);
    % In a grid, each cell touches its right, lower and two diagonal neighbours once.
    expected = count * (rows * (cols - 1) + (rows - 1) * cols + 2 * (rows - 1) * (cols - 1));
    fprintf('frameNeighbours: %d touching pairs (a %dx%d grid in %d frames has %d)\n', ...
            numel(a), cols, rows, count, expected);
  else
    skipped('frameNeighbours');
  end

  object_cell = cell_of(labels{1}, inside{1}, 1);  % grid cell most covered by square 1
  if built('trackNeighbours')
    [a, b, weight] = trackNeighbours(steps, labels, n);
    from = find(a == object_cell - 1);
    [best, k] = max(weight(from));
    fprintf(['trackNeighbours: %d links; superpixel %d (under square 1 in frame 1) sends ' ...
             '%.0f%% of its pixels to superpixel %d of frame 2\n'], numel(a), object_cell, ...
            100 * best, b(from(k)) + 1);
  else
    skipped('trackNeighbours');
  end

  frame_labels = cell(1, count);
  for f = 1:count
    frame_labels{f} = uint16(double(labels{f}) - (f - 1) * per_frame);
  end
  if built('regionLinkage')
    links = regionLinkage(steps{1}, frame_labels{1}, frame_labels{2});
    fprintf(['regionLinkage: frames 1 -> 2 give a %dx%d count table; %.0f%% of the pixels ' ...
             'land in the grid cell they started in\n'], size(links, 1), size(links, 2), ...
            100 * sum(diag(double(links))) / (h * w));
  else
    skipped('regionLinkage');
  end

  if built('regionMotionLevel')
    level = regionMotionLevel(steps{1}, frame_labels{1});
    [fastest, k] = max(level);
    fprintf(['regionMotionLevel: median flow length %.2f px; the fastest superpixel is %d ' ...
             '(%.2f px; the squares move 5.83 and 4.47 px per frame)\n'], median(level), k, ...
            fastest);
  else
    skipped('regionMotionLevel');
  end

  if built('regionCoverage')
    ratio = regionCoverage(frame_labels{1}, inside{1} > 0);
    covered = find(ratio > 0);
    fprintf('regionCoverage: the squares cover parts of %d superpixels of frame 1, %d of them wholly\n', ...
            numel(covered), sum(ratio == 1));
  else
    skipped('regionCoverage');
  end
  fprintf('Output files are in %s\n', out_dir);
end

function check_text(value, name)
  % An empty argument means the default; anything else must be a character row.
  if ~isempty(value) && ~(ischar(value) && ndims(value) == 2 && size(value, 1) == 1)
    error('motionseg:motionseg_demo:class', '%s must be a character row.', name);
  end
end

function [frames, truth, inside, labels, n] = demo_video(count, h, w, cell_size)
  % Textures from a fixed seed, so every run prints the same numbers. Smoothing the noise
  % gives the texture a scale of a few pixels, as in a camera image.
  state = rand('state'); %#ok<RAND>
  rand('state', 42); %#ok<RAND>
  background = texture(h + 2 * count, w + 2 * count);
  objects = {texture(30, 30), texture(24, 24)};
  rand('state', state); %#ok<RAND>
  % Per frame: the camera pans 1 row and 2 columns (the background moves by -1, -2), square 1
  % moves 3 rows and 5 columns, square 2 moves -2 rows and 4 columns.
  starts = [20 30; 80 20];
  velocity = [3 5; -2 4];
  per_frame = (h / cell_size) * (w / cell_size);
  grid = uint32(kron(reshape(1:per_frame, w / cell_size, h / cell_size)', ones(cell_size)));
  frames = cell(1, count);
  labels = cell(1, count);
  inside = cell(1, count);
  truth = cell(1, count - 1);
  for f = 1:count
    img = background((1:h) + f, (1:w) + 2 * f, :);
    u = -2 * ones(h, w);   % true flow to the next frame: columns
    v = -ones(h, w);       % and rows
    mask = zeros(h, w);
    for k = 1:2
      r = starts(k, 1) + velocity(k, 1) * (f - 1);
      c = starts(k, 2) + velocity(k, 2) * (f - 1);
      s = size(objects{k}, 1);
      img(r:r + s - 1, c:c + s - 1, :) = objects{k};
      u(r:r + s - 1, c:c + s - 1) = velocity(k, 2);
      v(r:r + s - 1, c:c + s - 1) = velocity(k, 1);
      mask(r:r + s - 1, c:c + s - 1) = k;
    end
    frames{f} = img;
    inside{f} = mask;
    labels{f} = grid + uint32((f - 1) * per_frame);
    if f < count
      truth{f} = cat(3, u, v);
    end
  end
  n = count * per_frame;
end

function t = texture(h, w)
  % Uniform noise, blurred by a 3-tap binomial filter twice along each axis, stretched back
  % to the 8-bit range per channel.
  kernel = conv([1 2 1], [1 2 1]) / 16;
  t = zeros(h, w, 3);
  for c = 1:3
    blurred = conv2(kernel, kernel, rand(h + 4, w + 4), 'valid');
    lo = min(blurred(:));
    hi = max(blurred(:));
    t(:, :, c) = 255 * (blurred - lo) / (hi - lo);
  end
  t = uint8(round(t));
end

function ok = built(name)
  % The help file NAME.m is always there; a built plug-in takes precedence over it.
  ok = exist(name) == 3; %#ok<EXIST>
end

function skipped(name)
  fprintf('%s: plug-in not built, skipped\n', name);
end

function k = cell_of(labels, mask, object)
  % The label that covers most pixels of the given object.
  k = mode(double(labels(mask == object)));
end

function compare_with_program(out_dir, frames, flow, program)
  % The command-line program on the same two frames: the same flow, the same picture.
  if ~exist(program, 'file')
    fprintf('  %s not found: no comparison with the command-line program\n', program);
    return;
  end
  first = fullfile(out_dir, 'frame_1.png');
  second = fullfile(out_dir, 'frame_2.png');
  imwrite(frames{1}, first);
  imwrite(frames{2}, second);
  flo = fullfile(out_dir, 'flow_1_2_program.flo');
  png = fullfile(out_dir, 'flow_1_2_program.png');
  [status, text] = system(sprintf('"%s" "%s" "%s" "%s" "%s"', program, first, second, flo, png));
  if status ~= 0
    fprintf('  flow_between failed (exit status %d): %s', status, text);
    return;
  end
  fprintf('  flow_between: %s', text);
  difference = max(abs(reshape(readFlo(flo) - flow, [], 1)));
  same_picture = isequal(imread(png), flowToColour(flow));
  fprintf(['  flow_between''s flow differs from denseMotion''s by at most %g px; its picture ' ...
           'is %s flowToColour''s\n'], difference, ternary(same_picture, 'identical to', 'different from'));
end

function text = ternary(condition, yes, no)
  if condition
    text = yes;
  else
    text = no;
  end
end
