function image = flowColourWheel(n)
% flowColourWheel  Legend of flowToColour's colour coding.
%
%   IMAGE = flowColourWheel
%   IMAGE = flowColourWheel(N)
%
%   An N-by-N picture of the colour coding: the pixel at column offset dx and row offset dy
%   from the centre shows the colour flowToColour gives a flow vector (u, v) = (dx, dy), with
%   the edge of the disc (radius (N-1)/2) at full colour. Rows grow downwards, as in the
%   image, so a pixel moving down has the colour below the centre. Outside the disc the
%   picture is white. motionseg_demo writes it beside its flow picture.
%
%   Input
%     N  odd or even side in pixels, 3 or more. Default: 151.
%
%   Output
%     IMAGE  N-by-N-by-3 uint8 RGB image.
%
%   Errors (identifiers)
%     motionseg:flowColourWheel:class  N sparse
%     motionseg:flowColourWheel:value  N not a whole number of 3 or more
%
%   Example
%     imwrite(flowColourWheel(101), 'legend.png');
%
%   See also flowToColour.
  if nargin < 1
    n = 151;
  end
  if issparse(n)
    error('motionseg:flowColourWheel:class', 'N must be a full number, not sparse.');
  end
  if ~isnumeric(n) || ~isscalar(n) || ~isreal(n) || n ~= fix(n) || ~(n >= 3) || ~isfinite(n)
    error('motionseg:flowColourWheel:value', 'N must be a whole number of 3 or more.');
  end
  n = double(n);
  centre = (n + 1) / 2;
  radius = (n - 1) / 2;
  [dx, dy] = meshgrid((1:n) - centre, (1:n) - centre);
  image = flowToColour(cat(3, dx, dy), radius);
  outside = repmat(hypot(dx, dy) > radius, [1 1 3]);
  image(outside) = 255;
end

%!test
%! % The documented coding at the edge of the disc: right red, down a pale blue, left green,
%! % up yellow; white outside the disc, black (no motion) at the centre.
%! w = flowColourWheel(21);
%! assert (class (w), 'uint8');
%! assert (size (w), [21 21 3]);
%! assert (squeeze (w(11, 21, :))', uint8 ([255 0 0]));
%! assert (squeeze (w(21, 11, :))', uint8 ([64 64 255]));
%! assert (squeeze (w(11, 1, :))', uint8 ([0 255 0]));
%! % Up lies where two segments of the wheel meet: the red ramp's end truncates to 254 or 255.
%! up = double (squeeze (w(1, 11, :))');
%! assert (up(1) >= 254 && up(2) == 255 && up(3) == 0, mat2str (up));
%! assert (squeeze (w(1, 1, :))', uint8 ([255 255 255]));
%! assert (squeeze (w(11, 11, :))', uint8 ([0 0 0]));
%!test
%! % The default side, and an even side whose centre lies between pixels.
%! assert (size (flowColourWheel ()), [151 151 3]);
%! w = flowColourWheel(4);
%! white = all (w == 255, 3);
%! [dx, dy] = meshgrid ((1:4) - 2.5);
%! assert (white, hypot (dx, dy) > 1.5);   % outside the disc of radius 1.5 only
%! assert (nnz (white), 12);
%!error <N must be a whole number of 3 or more> flowColourWheel (2)
%!error <N must be a whole number of 3 or more> flowColourWheel (7.5)
%!error <N must be a whole number of 3 or more> flowColourWheel ('a')
%!demo
%! % The legend beside a flow picture.
%! image (flowColourWheel (101)); axis image off;
%! title ('flowToColour: right red, down blue, left green, up yellow');
