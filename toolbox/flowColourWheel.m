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
