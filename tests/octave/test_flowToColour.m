function test_flowToColour()
% flowToColour draws exactly the picture flow_between draws for the same flow (the PNG files'
% pixels are compared; their bytes depend on each encoder's compression settings), and its
% legend shows the colour wheel of the flow library: right red, down a pale blue, left green,
% up yellow, black at the centre.
  program = getenv('MOTIONSEG_FLOW_BETWEEN');
  if isempty(program) || ~exist(program, 'file')
    error('test:skip', 'flow_between is not built');
  end
  folder = tempname();
  mkdir(folder);
  cleanup = onCleanup(@() remove_folder(folder));

  % Two frames of smooth texture, the second shifted, so the flow takes many directions and
  % lengths at the object's edges and in the background.
  state = rand('state'); %#ok<RAND>
  rand('state', 7); %#ok<RAND>
  texture = conv2(rand(80, 100), ones(5) / 25, 'valid');
  rand('state', state); %#ok<RAND>
  texture = uint8(255 * (texture - min(texture(:))) / (max(texture(:)) - min(texture(:))));
  first = texture(9:56, 9:72);
  second = texture(11:58, 6:69);
  second(15:30, 20:40) = texture(30:45, 50:70);       % a patch moving its own way
  imwrite(repmat(first, [1 1 3]), fullfile(folder, 'a.png'));
  imwrite(repmat(second, [1 1 3]), fullfile(folder, 'b.png'));

  runs = {{'', []}, {'--saturation 2.5', 2.5}, {'--saturation 40', 40}};
  for k = 1:numel(runs)
    [option, saturation] = runs{k}{:};
    flo = fullfile(folder, sprintf('flow%d.flo', k));
    png = fullfile(folder, sprintf('flow%d.png', k));
    [status, text] = system(sprintf('"%s" %s "%s" "%s" "%s" "%s"', program, option, ...
                                    fullfile(folder, 'a.png'), fullfile(folder, 'b.png'), flo, png));
    assert(status == 0, text);
    flow = readFlo(flo);
    if isempty(saturation)
      mine = flowToColour(flow);
    else
      mine = flowToColour(flow, saturation);
    end
    theirs = imread(png);
    assert(isa(mine, 'uint8') && isequal(size(mine), [48 64 3]));
    assert(isequal(mine, theirs), sprintf('%d of %d samples differ from flow_between %s', ...
                                          nnz(mine ~= theirs), numel(mine), option));
    % Enough different colours that the comparison covers the wheel, not one hue.
    assert(size(unique(reshape(mine, [], 3), 'rows'), 1) > 200);
  end

  % The legend, against the wheel's defined colours at half the radius (101 pixels: radius 50,
  % centre at row and column 51): (1, 0) -> (255, 0, 0), (0, 1) -> (64, 64, 255),
  % (-1, 0) -> (0, 255, 0), (0, -1) -> (254, 255, 0), each times 0.5, truncated.
  wheel = flowColourWheel(101);
  assert(isequal(size(wheel), [101 101 3]) && isa(wheel, 'uint8'));
  colour = @(r, c) double(squeeze(wheel(r, c, :))');
  assert(isequal(colour(51, 76), [127 0 0]));
  assert(isequal(colour(76, 51), [32 32 127]));
  assert(isequal(colour(51, 26), [0 127 0]));
  assert(isequal(colour(26, 51), [127 127 0]));
  assert(isequal(colour(51, 51), [0 0 0]));
  assert(isequal(colour(1, 1), [255 255 255]));        % outside the disc
  % On the disc's edge the colours are full.
  assert(isequal(colour(51, 101), [255 0 0]) && isequal(colour(101, 51), [64 64 255]));
  % Straight up, the single-precision angle lies just below 3*pi/4: the fifth segment, not the
  % sixth (whose start is (255, 255, 0)).
  assert(isequal(colour(1, 51), [254 255 0]));

  % A pixel without a direction repeats the colour before it in row order.
  flow = cat(3, [1 NaN; 0 NaN], [0 0; NaN 2]);
  image = double(flowToColour(flow, 1));
  assert(isequal(squeeze(image(1, 2, :)), squeeze(image(1, 1, :))));
  assert(isequal(squeeze(image(2, 2, :)), squeeze(image(2, 1, :))));
  assert(isequal(squeeze(image(1, 1, :))', [255 0 0]));
  image = double(flowToColour(cat(3, NaN, 0)));
  assert(isequal(image(:)', [0 0 0]));

  expect_error(@() flowToColour(zeros(2, 2, 3)), 'FLOW must be H-by-W-by-2; it is 2-by-2-by-3.', ...
               'motionseg:flowToColour:size');
  expect_error(@() flowToColour(zeros(2, 2, 2), 0), 'SATURATION must be a finite number above 0.', ...
               'motionseg:flowToColour:value');
end

function remove_folder(path)
  confirm_recursive_rmdir(false, 'local');
  if exist(path, 'dir')
    rmdir(path, 's');
  end
end
