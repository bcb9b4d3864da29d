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
%     PATH  name of the file; it is created or replaced. The flow is first written to a
%           temporary file in the same folder and renamed to PATH only once it is whole, so a
%           failed write leaves an existing file unchanged.
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
  check_path(path, 'writeFlo');
  check_flow(flow, 'writeFlo');
  [h, w, ~] = size(flow);
  if h > intmax('int32') || w > intmax('int32')
    error('motionseg:writeFlo:size', 'FLOW is %d-by-%d; the format holds sizes below 2^31.', h, w);
  end
  % The flow goes to a temporary file beside PATH, renamed into place once it is whole, so
  % that a failed write (a full disk, a quota) leaves the old file as it was.
  [folder, base, ext] = fileparts(path);
  [~, unique_part] = fileparts(tempname());
  temporary = fullfile(folder, ['.' base ext '.' unique_part '.writeFlo-tmp']);
  fid = fopen(temporary, 'w', 'ieee-le');
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
    delete(temporary);
    error('motionseg:writeFlo:file', 'Could not write all of %s.', path);
  end
  [moved, why] = move_into_place(temporary, path);
  if ~moved
    delete(temporary);
    error('motionseg:writeFlo:file', 'Could not replace %s: %s', path, why);
  end
end

function [moved, why] = move_into_place(source, target)
  % Octave's rename is one rename(2) call, atomic within a folder; MATLAB has movefile.
  if exist('rename', 'builtin')
    [status, why] = rename(source, target);
    moved = status == 0;
  else
    [moved, why] = movefile(source, target, 'f');
  end
end

%!test
%! % Bytes as the format lays them out, values rounded to single, and readFlo reads them back.
%! path = [tempname() '.flo'];
%! cleanup = onCleanup (@() delete (path));
%! flow = cat (3, [1 2 3; 4 5 6] + 1/3, [-1 NaN Inf; 0.5 -0 1e40]);
%! writeFlo (path, flow);
%! fid = fopen (path, 'r', 'ieee-le');
%! tag = fread (fid, [1 4], 'uint8=>char');
%! sz = fread (fid, [1 2], 'int32');
%! body = fread (fid, Inf, 'single=>single')';
%! fclose (fid);
%! assert (tag, 'PIEH');
%! assert (sz, [3 2]);
%! expected = single (reshape (permute (flow, [3 2 1]), 1, []));
%! assert (isequaln (body, expected));
%! assert (body(end), single (Inf));   % beyond the single range
%! assert (isequaln (readFlo (path), double (single (flow))));
%!test
%! % A refused flow leaves the existing file as it was, and no temporary beside it.
%! folder = tempname ();
%! mkdir (folder);
%! cleanup = onCleanup (@() remove_folder (folder));
%! path = fullfile (folder, 'kept.flo');
%! writeFlo (path, zeros (2, 2, 2));
%! before = dir (path);
%! try
%!   writeFlo (path, zeros (2, 2, 3));
%!   error ('no error');
%! catch err
%!   assert (err.identifier, 'motionseg:writeFlo:size');
%! end
%! listing = dir (folder);
%! assert (sort ({listing.name}), {'.', '..', 'kept.flo'});
%! assert (dir (path).bytes, before.bytes);
%!error <writeFlo takes two inputs> writeFlo ('a.flo')
%!function remove_folder (folder)
%!  listing = dir (folder);
%!  for k = 1:numel (listing)
%!    if ! listing(k).isdir
%!      delete (fullfile (folder, listing(k).name));
%!    end
%!  end
%!  rmdir (folder);
%!endfunction
%!demo
%! % A rotation written and read back exactly.
%! [x, y] = meshgrid (-10:10);
%! path = [tempname() '.flo'];
%! writeFlo (path, cat (3, -y, x));
%! flow = readFlo (path);
%! delete (path);
%! image (flowToColour (flow)); axis image off; title ('a rotation, through a .flo file');
