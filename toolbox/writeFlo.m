function writeFlo(path, flow)
% writeFlo  Writes a flow field to a .flo file.
%
%   writeFlo(PATH, FLOW)
%
%   Writes the Middlebury .flo format, byte for byte as the C++ flow library of this toolbox
%   and OpenCV's writeOpticalFlow write it: the four bytes "PIEH", the width and the height as
%   little-endian 32-bit integers, then u and v of every pixel as little-endian 32-bit floats,
%   row by row (pixels of a row from left to right). readFlo and OpenCV's readOpticalFlow read
%   it back exactly.
%
%   Inputs
%     PATH  name of the file; it is created or replaced.
%     FLOW  H-by-W-by-2 real numeric array, FLOW(:, :, 1) the horizontal component u
%           (towards larger column indices), FLOW(:, :, 2) the vertical component v
%           (towards larger row indices), in pixels: the layout denseMotion returns. Values
%           are stored in single precision (rounded to nearest; beyond the single range they
%           become +-Inf); NaN and Inf are stored as they are.
%
%   Errors (identifiers)
%     motionseg:writeFlo:nargin  not two inputs
%     motionseg:writeFlo:class   PATH not a character row, or FLOW not real numeric
%     motionseg:writeFlo:size    FLOW not H-by-W-by-2, or larger than the format's 32-bit sizes
%     motionseg:writeFlo:file    the file cannot be created or written completely
%
%   Example
%     flow = denseMotion(double(frame1), double(frame2));
%     writeFlo('pair.flo', flow);
%     isequal(readFlo('pair.flo'), flow)      % true: denseMotion's values are singles
%
%   See also readFlo, flowToColour, denseMotion.
  if nargin ~= 2
    error('motionseg:writeFlo:nargin', 'writeFlo takes two inputs: PATH and FLOW.');
  end
  if ~ischar(path) || size(path, 1) ~= 1
    error('motionseg:writeFlo:class', 'PATH must be a character row.');
  end
  if ~(isnumeric(flow) || islogical(flow)) || ~isreal(flow) || issparse(flow)
    error('motionseg:writeFlo:class', 'FLOW must be a real numeric H-by-W-by-2 array.');
  end
  if ndims(flow) > 3 || size(flow, 3) ~= 2
    error('motionseg:writeFlo:size', 'FLOW must be H-by-W-by-2; it is %s.', ...
          strjoin(arrayfun(@num2str, size(flow), 'UniformOutput', false), '-by-'));
  end
  [h, w, ~] = size(flow);
  if h > intmax('int32') || w > intmax('int32')
    error('motionseg:writeFlo:size', 'FLOW is %d-by-%d; the format holds sizes below 2^31.', h, w);
  end
  fid = fopen(path, 'w', 'ieee-le');
  if fid < 0
    error('motionseg:writeFlo:file', 'Cannot create %s.', path);
  end
  % Interleaved u, v of each pixel, rows one after the other: dimension order (channel,
  % column, row).
  body = permute(single(flow), [3 2 1]);
  written = fwrite(fid, uint8('PIEH'), 'uint8');
  written = written + fwrite(fid, int32([w h]), 'int32');
  written = written + fwrite(fid, body, 'single');
  status = fclose(fid);
  if written ~= 6 + numel(body) || status ~= 0
    error('motionseg:writeFlo:file', 'Could not write all of %s.', path);
  end
end
