function test_flo_files()
% readFlo and writeFlo against OpenCV's readOpticalFlow and writeOpticalFlow: files written by
% one are read bit for bit by the other, and both writers give the same bytes.
  python = opencv_python();
  folder = tempname();
  mkdir(folder);
  cleanup = onCleanup(@() remove_folder(folder));
  ours = fullfile(folder, 'ours.flo');
  theirs = fullfile(folder, 'theirs.flo');
  generated = fullfile(folder, 'generated.flo');

  % 5 rows, 7 columns (unequal, so a transposed layout shows), with the values a flow file
  % meets: fractions, negative zero, large markers of unknown flow, NaN, infinities, the
  % smallest subnormal single.
  flow = reshape(single(((1:70) - 35.5) / 3), 5, 7, 2);
  flow(1, 1, 1) = -0;
  flow(2, 3, 2) = 1e10;
  flow(4, 5, 1) = NaN;
  flow(5, 7, 2) = Inf;
  flow(3, 2, 1) = -Inf;
  flow(1, 7, 2) = typecast(uint32(1), 'single');
  writeFlo(ours, flow);

  % OpenCV reads our file (shape H x W x 2, values bit for bit) and writes it back unchanged;
  % it also writes a flow of its own from a formula exact in single precision.
  script = [ ...
    'import sys, cv2, numpy as np\n' ...
    'ours, theirs, generated = sys.argv[1:4]\n' ...
    'f = cv2.readOpticalFlow(ours)\n' ...
    'assert f is not None and f.shape == (5, 7, 2) and f.dtype == np.float32, f\n' ...
    'assert f.view(np.uint32)[1, 2, 1] == np.float32(1e10).view(np.uint32)\n' ...
    'assert np.isnan(f[3, 4, 0]) and f[4, 6, 1] == np.inf and f[2, 1, 0] == -np.inf\n' ...
    'assert cv2.writeOpticalFlow(theirs, f)\n' ...
    'y, x = np.mgrid[0:4, 0:9].astype(np.float32)\n' ...
    'g = np.dstack([(x - 3 * y) / 8, x * y / 16 - 1]).astype(np.float32)\n' ...
    'assert cv2.writeOpticalFlow(generated, g)\n'];
  script_file = fullfile(folder, 'peer.py');
  fid = fopen(script_file, 'w');
  fprintf(fid, script);
  fclose(fid);
  [status, text] = system(sprintf('"%s" "%s" "%s" "%s" "%s"', python, script_file, ours, ...
                                  theirs, generated));
  assert(status == 0, text);

  % Both writers give the same bytes.
  assert(isequal(file_bytes(ours), file_bytes(theirs)), 'writeFlo and OpenCV wrote different bytes');
  % Our reader gives back every bit (NaN and negative zero included).
  back = readFlo(theirs);
  assert(isa(back, 'double') && isequal(size(back), [5 7 2]));
  assert(isequal(typecast(single(back(:)), 'uint32'), typecast(flow(:), 'uint32')));
  [x, y] = meshgrid(single(0:8), single(0:3));
  assert(isequal(readFlo(generated), double(cat(3, (x - 3 * y) / 8, x .* y / 16 - 1))));

  % Damaged files end with an error that names the file and its fault.
  bytes = file_bytes(ours);
  expect_error(@() readFlo(write_bytes(folder, bytes(1:11))), ...
               [fullfile(folder, 'damaged.flo') ' is shorter than the 12-byte header of a flow file'], ...
               'motionseg:readFlo:size');
  expect_error(@() readFlo(write_bytes(folder, bytes(1:end - 1))), ...
               [fullfile(folder, 'damaged.flo') ' holds less flow data than its header announces (7 x 5)'], ...
               'motionseg:readFlo:size');
  expect_error(@() readFlo(write_bytes(folder, [uint8('PIEX') bytes(5:end)])), ...
               [fullfile(folder, 'damaged.flo') ' does not start with the tag PIEH of a flow file'], ...
               'motionseg:readFlo:value');
  huge = [uint8('PIEH') typecast(int32([65536 65536]), 'uint8')];
  expect_error(@() readFlo(write_bytes(folder, huge)), ...
               [fullfile(folder, 'damaged.flo') ' announces an implausible flow size of 65536 x 65536'], ...
               'motionseg:readFlo:value');
  % A file with more data than announced is read, the rest ignored (as OpenCV and the C++
  % library read it).
  assert(isequaln(readFlo(write_bytes(folder, [bytes uint8([1 2 3 4])])), back));
  expect_error(@() writeFlo(fullfile(folder, 'x.flo'), zeros(3, 3)), ...
               'FLOW must be H-by-W-by-2; it is 3-by-3.', 'motionseg:writeFlo:size');
  expect_error(@() writeFlo(fullfile(folder, 'no', 'such', 'x.flo'), zeros(3, 3, 2)), ...
               ['Cannot create ' fullfile(folder, 'no', 'such', 'x.flo') '.'], 'motionseg:writeFlo:file');
end

function bytes = file_bytes(path)
  fid = fopen(path, 'r');
  bytes = fread(fid, Inf, 'uint8=>uint8')';
  fclose(fid);
end

function path = write_bytes(folder, bytes)
  path = fullfile(folder, 'damaged.flo');
  fid = fopen(path, 'w');
  fwrite(fid, bytes, 'uint8');
  fclose(fid);
end

function remove_folder(path)
  confirm_recursive_rmdir(false, 'local');
  if exist(path, 'dir')
    rmdir(path, 's');
  end
end
