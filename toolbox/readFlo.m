function flow = readFlo(path)
% readFlo  Reads a flow field from a .flo file.
%
%   FLOW = readFlo(PATH)
%
%   Reads the Middlebury .flo format as the C++ flow library of this toolbox and OpenCV's
%   readOpticalFlow read it: the four bytes "PIEH", the width W and the height H as
%   little-endian 32-bit integers, then u and v of every pixel as little-endian 32-bit floats,
%   row by row. Data after the announced W*H pixels are ignored.
%
%   Input
%     PATH  name of the file.
%
%   Output
%     FLOW  H-by-W-by-2 double, FLOW(:, :, 1) the horizontal component u, FLOW(:, :, 2) the
%           vertical component v, in pixels: the layout denseMotion returns and writeFlo
%           takes. Every value is the file's single-precision value exactly (NaN and Inf
%           included); pixels without a known flow are marked in some data sets by values
%           above 1e9.
%
%   Errors (identifiers)
%     motionseg:readFlo:nargin  not one input
%     motionseg:readFlo:class   PATH not a character row
%     motionseg:readFlo:file    the file cannot be opened
%     motionseg:readFlo:size    "PATH is shorter than the 12-byte header of a flow file",
%                               "PATH holds less flow data than its header announces (W x H)"
%     motionseg:readFlo:value   "PATH does not start with the tag PIEH of a flow file",
%                               "PATH announces an implausible flow size of W x H"
%
%   Example
%     writeFlo('zero.flo', zeros(4, 6, 2));
%     size(readFlo('zero.flo'))               % 4 6 2
%
%   See also writeFlo, flowToColour, denseMotion.
  if nargin ~= 1
    error('motionseg:readFlo:nargin', 'readFlo takes one input: PATH.');
  end
  check_path(path, 'readFlo');
  fid = fopen(path, 'r', 'ieee-le');
  if fid < 0
    error('motionseg:readFlo:file', 'Could not open %s', path);
  end
  closer = onCleanup(@() fclose(fid));
  fseek(fid, 0, 'eof');
  bytes = ftell(fid);
  fseek(fid, 0, 'bof');
  if bytes < 12
    error('motionseg:readFlo:size', '%s is shorter than the 12-byte header of a flow file', path);
  end
  tag = fread(fid, [1 4], 'uint8=>char');
  sz = double(fread(fid, [1 2], 'int32=>int32'));
  if ~strcmp(tag, 'PIEH')
    error('motionseg:readFlo:value', '%s does not start with the tag PIEH of a flow file', path);
  end
  w = sz(1);
  h = sz(2);
  % The sizes of a flow the C++ library can hold: 2*W*H values of 32-bit indices, a size of 0
  % counted as 1 (a flow without pixels keeps a size some flow could have).
  if w < 0 || h < 0 || 2 * max(w, 1) * max(h, 1) > 2147483647
    error('motionseg:readFlo:value', '%s announces an implausible flow size of %d x %d', ...
          path, w, h);
  end
  if bytes < 12 + 8 * w * h
    error('motionseg:readFlo:size', '%s holds less flow data than its header announces (%d x %d)', ...
          path, w, h);
  end
  body = fread(fid, 2 * w * h, 'single=>double');
  flow = permute(reshape(body, [2 w h]), [3 2 1]);
end

%!test
%! % The layout byte for byte: tag, width, height, then u and v of each pixel, row by row.
%! path = [tempname() '.flo'];
%! cleanup = onCleanup (@() delete (path));
%! u = single ([1 2 3; 4 5 6]);
%! v = single ([-1 NaN Inf; 0.5 -0 1e10]);
%! fid = fopen (path, 'w', 'ieee-le');
%! fwrite (fid, uint8 ('PIEH'));
%! fwrite (fid, int32 ([3 2]), 'int32');
%! fwrite (fid, [reshape([u(1,:); v(1,:)], 1, []) reshape([u(2,:); v(2,:)], 1, [])], 'single');
%! fwrite (fid, uint8 (7));   % data past the announced pixels are ignored
%! fclose (fid);
%! flow = readFlo (path);
%! assert (size (flow), [2 3 2]);
%! assert (class (flow), 'double');
%! assert (isequaln (flow, double (cat (3, u, v))));
%! assert (1 / flow(2, 2, 2), -Inf);   % the sign of -0 is kept
%!test
%! % Damaged files: each gets its own identifier.
%! path = [tempname() '.flo'];
%! cleanup = onCleanup (@() delete (path));
%! headers = {uint8('PIE'), 'motionseg:readFlo:size';
%!            [uint8('PIEX') typecast(int32([1 1]), 'uint8')], 'motionseg:readFlo:value';
%!            [uint8('PIEH') typecast(int32([-1 1]), 'uint8')], 'motionseg:readFlo:value';
%!            [uint8('PIEH') typecast(int32([2 2]), 'uint8') zeros(1, 31, 'uint8')], ...
%!            'motionseg:readFlo:size'};
%! for k = 1:rows (headers)
%!   fid = fopen (path, 'w');
%!   fwrite (fid, headers{k, 1});
%!   fclose (fid);
%!   try
%!     readFlo (path);
%!     error ('case %d: no error', k);
%!   catch err
%!     assert (err.identifier, headers{k, 2});
%!   end
%! end
%!error <readFlo takes one input> readFlo ()
%!error <Could not open> readFlo ([tempname() '.flo'])
%!demo
%! % A flow written by writeFlo and read back.
%! [x, y] = meshgrid (-10:10);
%! path = [tempname() '.flo'];
%! writeFlo (path, cat (3, x, y));
%! flow = readFlo (path);
%! delete (path);
%! printf ('read a %d-by-%d flow, u from %g to %g\n', rows (flow), columns (flow), ...
%!         min (min (flow(:, :, 1))), max (max (flow(:, :, 1))));
