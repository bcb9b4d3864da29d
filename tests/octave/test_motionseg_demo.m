function test_motionseg_demo()
% motionseg_demo run as a user runs it: the flow it prints is accurate on its known motion, the
% .flo file it writes holds a flow of the frame size, its pictures are there, the command-line
% program gives the same flow and picture, and the superpixel results it prints agree with the
% grid it generates.
  assert(exist('denseMotion') == 3, 'denseMotion is not built'); %#ok<EXIST>
  out_dir = tempname();
  cleanup = onCleanup(@() remove_folder(out_dir));
  program = getenv('MOTIONSEG_FLOW_BETWEEN');
  text = evalc('motionseg_demo(out_dir, program)');

  picture = imread(fullfile(out_dir, 'flow_1_2_colour.png'));
  legend = imread(fullfile(out_dir, 'flow_colour_wheel.png'));
  assert(isequal(size(picture), [120 160 3]) && isequal(size(legend), [151 151 3]));
  if ~isempty(program)
    assert(~isempty(strfind(text, 'differs from denseMotion''s by at most 0 px; its picture is identical to flowToColour''s')), text);
  end

  % Five frame pairs, each recovered to a fraction of a pixel.
  errors = regexp(text, '(\d) -> (\d)\s+([\d.]+)\s+([\d.]+)', 'tokens');
  assert(numel(errors) == 5, text);
  for k = 1:5
    assert(str2double(errors{k}{3}) < 0.3, text);
  end

  % The .flo file: tag, width 160, height 120, then u and v of every pixel; the background
  % moves 2 columns left and 1 row up, which most pixels show.
  fid = fopen(fullfile(out_dir, 'flow_1_2.flo'), 'r', 'ieee-le');
  assert(fid >= 0, 'no .flo file written');
  tag = char(fread(fid, 4, 'char')');
  sz = fread(fid, 2, 'int32');
  body = fread(fid, Inf, 'float32');
  fclose(fid);
  assert(strcmp(tag, 'PIEH'));
  assert(isequal(sz(:)', [160 120]));
  assert(numel(body) == 2 * 160 * 120);
  uv = reshape(body, 2, []);
  assert(abs(median(uv(1, :)) + 2) < 0.05 && abs(median(uv(2, :)) + 1) < 0.05);

  % Grid superpixels: 8x6 cells in 6 frames touch in 912 pairs.
  if exist('frameNeighbours') == 3 %#ok<EXIST>
    assert(~isempty(strfind(text, '912 touching pairs (a 8x6 grid in 6 frames has 912)')), text);
  end
  if exist('regionSummary') == 3 %#ok<EXIST>
    assert(~isempty(regexp(text, '288\s+400\s+\(109\.50, 149\.50\)', 'once')), text);
  end
end

function remove_folder(path)
  confirm_recursive_rmdir(false);
  if exist(path, 'dir')
    rmdir(path, 's');
  end
end
