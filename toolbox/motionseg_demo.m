function motionseg_demo()
% motionseg_demo  Runs the toolbox on a small generated video and prints what it finds.
%
%   motionseg_demo
%
%   The video is made here: textured squares moving over a textured background, with grid
%   superpixels numbered across the video.
%
%   See also regionSummary.
  [frames, labels, n] = demo_video(6, 120, 160, 20);
  fprintf('Generated video: %d frames of %dx%d pixels, %d grid superpixels\n', ...
          numel(frames), size(frames{1}, 1), size(frames{1}, 2), n);

  tic;
  [colour, centre, sz] = regionSummary(frames, labels, n);
  fprintf('regionSummary: %.1f ms for the whole video\n', 1000 * toc);
  fprintf('  label   size   centre (row, col)     mean colour (R, G, B)\n');
  for k = [1 2 n / 2 n]
    fprintf('  %5d  %5d   (%6.2f, %6.2f)   (%6.1f, %6.1f, %6.1f)\n', k, sz(k), ...
            centre(k, 1), centre(k, 2), colour(k, 1), colour(k, 2), colour(k, 3));
  end
end

function [frames, labels, n] = demo_video(count, h, w, cell_size)
  % Background and object textures from a fixed seed, so every run prints the same numbers.
  state = rand('state'); %#ok<RAND>
  rand('state', 42); %#ok<RAND>
  background = uint8(255 * rand(h + 40, w + 40, 3));
  object = uint8(255 * rand(30, 30, 3));
  rand('state', state); %#ok<RAND>
  per_frame = (h / cell_size) * (w / cell_size);
  grid = uint32(kron(reshape(1:per_frame, w / cell_size, h / cell_size)', ones(cell_size)));
  frames = cell(1, count);
  labels = cell(1, count);
  for f = 1:count
    img = background((1:h) + f, (1:w) + 2 * f, :);        % the camera pans
    r = 20 + 3 * f; c = 30 + 5 * f;                      % the object moves
    img(r:r + 29, c:c + 29, :) = object;
    frames{f} = img;
    labels{f} = grid + uint32((f - 1) * per_frame);
  end
  n = count * per_frame;
end
