function test_memory_guard_growth()
% Under a low ceiling, calls whose working memory shows only as they work (the neighbour
% pairs of frameNeighbours, the votes of trackNeighbours) and calls whose outputs the host
% allocates (the level-set routines, labelGapFill) are refused with motionseg:NAME:memory
% before they take more than the ceiling; the same calls under no ceiling, and small calls
% under it, work.
  setenv('MOTIONSEG_MEMORY_LIMIT', '100M');
  cleanup = onCleanup(@() unsetenv('MOTIONSEG_MEMORY_LIMIT'));
  limit = '; the limit MOTIONSEG_MEMORY_LIMIT=100M allows 100 MB.';

  % 2048-by-2048 maps of labels drawn at random: about four new pairs per pixel, some 16
  % million pairs of 40 bytes and more each.
  state = rand('state'); %#ok<RAND>
  rand('state', 3); %#ok<RAND>
  big = uint32(floor(rand(2048) * 4e6) + 1);
  other = uint32(floor(rand(2048) * 4e6) + 1);
  rand('state', state); %#ok<RAND>
  still = zeros(2048, 2048, 2, 'int16');
  huge = zeros(4000);   % 128 MB of input: 256 MB or more of outputs with the host's copies

  % {call, name, the start of the object of the refusal}
  cases = {
    @() frameNeighbours({big}, 4e6),                  'frameNeighbours', ...
      'frameNeighbours needs more than 100 MB for the neighbour pairs of 1 frames of 2048-by-2048 pixels'
    @() trackNeighbours({still}, {big, other}, 4e6),  'trackNeighbours', ...
      'trackNeighbours needs more than 100 MB for the votes of 1 frame steps of 2048-by-2048 pixels'
    @() trough_points(huge, 1),                       'trough_points',    'trough_points needs '
    @() front_velocity(huge, huge, huge, huge, huge, huge, huge, huge, 1), ...
                                                      'front_velocity',   'front_velocity needs '
    @() surface_partials(huge),                       'surface_partials', 'surface_partials needs '
    @() surface_slope(huge, huge),                    'surface_slope',    'surface_slope needs '
    @() labelGapFill(ones(6000, 'uint16')),          'labelGapFill',     'labelGapFill needs '
  };
  for k = 1:rows(cases)
    [call, name, text] = cases{k, :};
    try
      call();
      error('test:memory', '%s: not refused', name);
    catch err
      assert(strcmp(err.identifier, ['motionseg:' name ':memory']), ...
             sprintf('%s: [%s] %s', name, err.identifier, err.message));
      assert(strncmp(err.message, [name ': ' text], numel(name) + 2 + numel(text)), err.message);
      assert(~isempty(strfind(err.message, limit)), err.message);
    end
  end

  % Small calls under the ceiling give the answers they give without it.
  small = uint32([1 1 2; 3 3 2]);
  [a, b] = frameNeighbours({small}, 3);
  assert(isequal([a b], uint32([0 1; 0 2; 1 2])));
  [a, b, w] = trackNeighbours({zeros(2, 3, 2, 'int16')}, {small, small}, 3);
  assert(isequal([a b], uint32([0 0; 1 1; 2 2])) && isequal(w, single([1; 1; 1])));
  assert(isequal(trough_points(magic(4), 1), trough_points(magic(4), 1)));

  % Without the ceiling the large neighbour search completes (its need is the pairs found).
  unsetenv('MOTIONSEG_MEMORY_LIMIT');
  [a, ~] = frameNeighbours({big(1:256, 1:256)}, 4e6);
  assert(numel(a) > 3 * 255 * 255);
end
