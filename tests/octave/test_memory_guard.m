function test_memory_guard()
% Calls whose small arguments ask for huge outputs end with the guard's text and the session
% goes on; calls just under the user's ceiling still work. The ceiling is set low, so no case
% needs much memory.
  setenv('MOTIONSEG_MEMORY_LIMIT', '100M');
  cleanup = onCleanup(@() unsetenv('MOTIONSEG_MEMORY_LIMIT'));
  limit = '; the limit MOTIONSEG_MEMORY_LIMIT=100M allows 100 MB.';
  region_summary_counts(limit);
  region_linkage_tables(limit);
  track_neighbours_large_labels();
  region_motion_level_counts(limit);
  bitcode_distance_tables(limit);
  dense_motion_frames();
  unreadable_ceiling();
  try
    regionLinkage(int16(zeros(1, 1, 2)), uint16(65535), uint16(65535));
    error('test:noerror', 'not refused');
  catch err
    assert(strcmp(err.identifier, 'motionseg:regionLinkage:memory'), err.identifier);
  end
  % After all those refusals the session and the plug-ins go on as before.
  assert(isequal(regionLinkage(int16(zeros(1, 1, 2)), uint16(1), uint16(1)), uint32(1)));
end

% 88 bytes per superpixel (24 of output, twice, and 40 of exact sums) plus 64 KiB bookkeeping.
function region_summary_counts(limit)
  frames = {zeros(1, 1, 3, 'uint8')};
  labels = {uint32(1)};
  expect_error(@() regionSummary(frames, labels, 1e9), ['regionSummary: regionSummary needs ' ...
    '88.0 GB for 1000000000 superpixels (24.0 GB of output, twice while the host copies it, ' ...
    'and 40.0 GB of working memory)' limit]);
  under = floor((100e6 - 65536) / 88);
  [colour, centre, sz] = regionSummary(frames, labels, under);
  assert(isequal(size(colour), [under 3]) && isequal(sz(1:2), uint32([1; 0])));
  clear colour centre sz
  expect_error(@() regionSummary(frames, labels, under + 1), ...
               sprintf(['regionSummary: regionSummary needs 100 MB for %d superpixels (27.3 MB of ' ...
                        'output, twice while the host copies it, and 45.4 MB of working memory)%s'], ...
                       under + 1, limit));
end

function region_linkage_tables(limit)
  flow = int16(zeros(1, 1, 2));
  expect_error(@() regionLinkage(flow, uint16(65535), uint16(65535)), ['regionLinkage: ' ...
    'regionLinkage needs 34.4 GB for a 65535-by-65535 table (twice that while the host copies it)' limit]);
  expect_error(@() regionLinkage(flow, uint16(1), uint16(1), 2^31 - 1, 2^31 - 1), ['regionLinkage: ' ...
    'regionLinkage needs more than 18.4 EB for a 2147483647-by-2147483647 table' limit]);
  K = regionLinkage(flow, uint16(1), uint16(1), 3000, 4000);  % 96.1 MB with the copy
  assert(isequal(size(K), [3000 4000]) && K(1) == 1 && nnz(K) == 1);
end

% The landed counts follow the labels present, not the largest label value: no refusal needed.
function track_neighbours_large_labels()
  [a, b, w] = trackNeighbours({int16(zeros(1, 1, 2))}, {uint32(1e9), uint32(1e9)}, 4294967296);
  assert(isequal(a, uint32(999999999)) && isequal(b, uint32(999999999)) && w == 1);
  [a, b, w] = trackNeighbours({int16(zeros(1, 1, 2))}, {uint32(4294967295), uint32(4294967295)}, 4294967296);
  assert(isequal(a, uint32(4294967294)) && isequal(b, uint32(4294967294)) && w == 1);
end

function region_motion_level_counts(limit)
  flow = int16(cat(3, 3, 4));
  expect_error(@() regionMotionLevel(flow, uint16(1), 2147483647), ['regionMotionLevel: ' ...
    'regionMotionLevel needs 17.2 GB for 2147483647 superpixels (8.59 GB of output, twice while ' ...
    'the host copies it, and 262 kB of working memory)' limit]);
  level = regionMotionLevel(flow, uint16(1), 12000000);  % 96.3 MB with the copy
  assert(isequal(size(level), [12000000 1]) && level(1) == 5);
end

function bitcode_distance_tables(limit)
  expect_error(@() bitcode_distance(false(1, 40000), false(1, 40000)), ['bitcode_distance: ' ...
    'bitcode_distance needs 25.6 GB for a 40000-by-40000 distance table (twice that while the ' ...
    'host copies it)' limit]);
  D = bitcode_distance(false(1, 3000), true(1, 2000));  % 96.1 MB with the copy
  assert(isequal(size(D), [3000 2000]) && all(D(:) == 1));
end

% The flow's working memory is about 300 bytes per pixel: 400-by-400 frames need about 50 MB.
function dense_motion_frames()
  setenv('MOTIONSEG_MEMORY_LIMIT', '20M');
  try
    flow = denseMotion(zeros(400, 400, 3), zeros(400, 400, 3)); %#ok<NASGU>
    error('test:noerror', 'denseMotion was not refused');
  catch err
    assert(~isempty(regexp(err.message, ['^denseMotion: denseMotion needs [0-9.]+ MB for the flow ' ...
      'of two 400-by-400-by-3 frames \([0-9.]+ MB of output, twice while the host copies it, and ' ...
      '[0-9.]+ MB of working memory\); the limit MOTIONSEG_MEMORY_LIMIT=20M allows 20.0 MB\.$'], 'once')), ...
      err.message);
  end
  flow = denseMotion(rand(40, 40, 3), rand(40, 40, 3));
  assert(isequal(size(flow), [40 40 2]));
  setenv('MOTIONSEG_MEMORY_LIMIT', '100M');
end

function unreadable_ceiling()
  setenv('MOTIONSEG_MEMORY_LIMIT', 'plenty');
  expect_error(@() regionLinkage(int16(zeros(1, 1, 2)), uint16(1), uint16(1)), ['regionLinkage: ' ...
    'MOTIONSEG_MEMORY_LIMIT is "plenty"; set it to a size such as 8G or 512M, or unset it.']);
  setenv('MOTIONSEG_MEMORY_LIMIT', '100M');
end
