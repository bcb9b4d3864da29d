function image = flowToColour(flow, saturation)
% flowToColour  Colour picture of a flow field (hue: direction, saturation: length).
%
%   IMAGE = flowToColour(FLOW)
%   IMAGE = flowToColour(FLOW, SATURATION)
%
%   The colour coding of the toolbox's flow pictures, bit for bit the picture flow_between
%   writes for the same flow: the direction picks the hue on a colour wheel (right red, down
%   a pale blue, left green, up yellow, with magenta, cyan and orange between), the length
%   the saturation, from black for no motion to the full colour for vectors of length
%   SATURATION or more. flowColourWheel draws the legend. The colours are computed in single
%   precision, as the flow library computes them.
%
%   Inputs
%     FLOW        H-by-W-by-2 real numeric array, FLOW(:, :, 1) the horizontal component u,
%                 FLOW(:, :, 2) the vertical component v (the layout of denseMotion and
%                 readFlo); used in single precision.
%     SATURATION  positive length in pixels drawn at full colour. Default: the length of
%                 the longest known vector (NaN and unknown flow ignored), 1 when every
%                 vector is 0.
%
%   Output
%     IMAGE  H-by-W-by-3 uint8 RGB image, ready for imwrite. A pixel whose direction is not
%            defined (a component that is NaN) repeats the colour of the pixel before it in
%            row order (pixels of a row from left to right), black for the first.
%            Unknown flow, vectors longer than 1e9 pixels (flow files mark pixels without
%            ground truth with 1e10), is drawn white, a colour no known vector gets; a pixel
%            without a direction after it repeats the colour of the last known one.
%
%   Errors (identifiers)
%     motionseg:flowToColour:nargin  no input or more than two
%     motionseg:flowToColour:class   FLOW or SATURATION not real numeric, or sparse
%     motionseg:flowToColour:size    FLOW not H-by-W-by-2, SATURATION not a scalar
%     motionseg:flowToColour:value   SATURATION not a finite number above 0
%
%   Example
%     [x, y] = meshgrid(-20:20);
%     imshow(flowToColour(cat(3, x, y)))       % every direction and length up to 20 px
%     imwrite(flowToColour(readFlo('pair.flo')), 'pair.png');
%
%   See also flowColourWheel, readFlo, denseMotion.
  if nargin < 1 || nargin > 2
    error('motionseg:flowToColour:nargin', 'flowToColour takes FLOW and an optional SATURATION.');
  end
  check_flow(flow, 'flowToColour');
  u = single(flow(:, :, 1));
  v = single(flow(:, :, 2));
  % Unknown flow: vectors longer than 1e9 pixels (the squares of singles are exact in double,
  % so the C++ code decides alike). They take no part in the automatic saturation.
  unknown = double(u) .^ 2 + double(v) .^ 2 > 1e18;
  if nargin < 2 || isempty(saturation)
    lengths = hypot(u, v);
    longest = max([0; reshape(lengths(~unknown), [], 1)]);   % max skips NaN
  else
    if ~(isnumeric(saturation) || islogical(saturation)) || ~isreal(saturation) || ...
       issparse(saturation)
      error('motionseg:flowToColour:class', 'SATURATION must be a real number.');
    end
    if ~isscalar(saturation)
      error('motionseg:flowToColour:size', 'SATURATION must be a scalar.');
    end
    if ~(saturation > 0 && isfinite(saturation))
      error('motionseg:flowToColour:value', 'SATURATION must be a finite number above 0.');
    end
    longest = single(saturation);
  end
  if ~(longest > 0)
    longest = single(1);
  end
  % Vectors of length 2*sqrt(2)*divisor reach full colour: divisor = SATURATION/(2*sqrt(2)),
  % and the vectors are scaled by 1/(2*sqrt(2))/divisor (each step rounded as the library does).
  divisor = single(double(longest) / (2 * sqrt(2)));
  scale = single(0.3535533905932738 / double(divisor));
  % Unknown vectors are drawn as pixels without a direction, then painted white below.
  u(unknown) = NaN;
  v(unknown) = NaN;
  [r, g, b] = wheel(scale * u, scale * v);
  % Row order, as the library walks the picture, for the pixels without a direction.
  r = r.';
  g = g.';
  b = b.';
  defined = ~isnan(r);
  if ~all(defined(:))
    k = (1:numel(r))';
    last = cummax(k .* defined(:)) + 1;   % the last defined pixel at or before each one
    padded = [0; r(:)];
    r(:) = padded(last);
    padded = [0; g(:)];
    g(:) = padded(last);
    padded = [0; b(:)];
    b(:) = padded(last);
  end
  image = uint8(cat(3, r.', g.', b.'));
  image(repmat(unknown, [1 1 3])) = 255;
end

function [r, g, b] = wheel(x, y)
% The colour of each vector (x, y) of length up to 1 (longer ones at full colour); NaN where
% the angle is not a number.
  kpi = single(pi);                       % 3.14159274, the flow library's pi
  rho = min(single(1), sqrt(x .* x + y .* y));
  % Polar angle in [0, 2*pi), then a = theta/2 in [0, pi).
  theta = NaN(size(x), 'single');
  on_axis = x == 0;
  theta(on_axis & y >= 0) = kpi * single(0.5);
  theta(on_axis & ~(y >= 0)) = kpi * single(1.5);
  q = x > 0 & y >= 0;
  theta(q) = atan(y(q) ./ x(q));
  q = x > 0 & y < 0;
  theta(q) = single(atan(double(y(q) ./ x(q))) + 2 * double(kpi));
  q = x < 0;
  theta(q) = single(atan(double(y(q) ./ x(q))) + double(kpi));
  a = double(theta * single(0.5));
  p = double(kpi);

  red = NaN(size(x), 'single');
  green = red;
  blue = red;
  one = single(1);
  % Red to magenta, to a pale blue (64, 64, 255), to cyan, to green, to yellow, back to red:
  % piecewise linear in a, h the position inside a segment.
  s = a >= 0 & a < p / 8;
  h = single((a(s) - 0) / (p / 8));
  red(s) = 255;
  green(s) = 0;
  blue(s) = single(255) * h;
  s = a >= p / 8 & a < p / 4;
  h = single((a(s) - p / 8) / (p / 8));
  red(s) = single(255) * (one - h) + single(64) * h;
  green(s) = single(64) * h;
  blue(s) = 255;
  s = a >= p / 4 & a < 3 * p / 8;
  h = single((a(s) - p / 4) / (p / 8));
  red(s) = single(64) * (one - h);
  green(s) = single(64) * (one - h) + single(255) * h;
  blue(s) = 255;
  s = a >= 3 * p / 8 & a < p / 2;
  h = single((a(s) - 3 * p / 8) / (p / 8));
  red(s) = 0;
  green(s) = 255;
  blue(s) = single(255) * (one - h);
  s = a >= p / 2 & a < 3 * p / 4;
  h = single((a(s) - p / 2) / (p / 4));
  red(s) = single(255) * h;
  green(s) = 255;
  blue(s) = 0;
  s = a >= 3 * p / 4 & a <= p;
  h = single((a(s) - 3 * p / 4) / (p / 4));
  red(s) = 255;
  green(s) = single(255) * (one - h);
  blue(s) = 0;

  r = saturate(red, rho);
  g = saturate(green, rho);
  b = saturate(blue, rho);
end

function c = saturate(value, rho)
% value * rho truncated to a whole number, clamped to [0, 255]; NaN stays NaN (no colour).
  v = double(value) .* double(rho);
  c = fix(v);
  c(~(v > 0)) = 0;
  c(v >= 255) = 255;
  c(isnan(value)) = NaN;
end

%!test
%! % Full colour at the saturation length, black for no motion, the default saturation the
%! % longest known vector, unknown flow white and left out of that default.
%! flow = cat (3, [0 4 -4 0 2e9], [0 0 0 4 0]);
%! c = flowToColour (flow);
%! assert (class (c), 'uint8');
%! assert (size (c), [1 5 3]);
%! assert (squeeze (c(1, 1, :))', uint8 ([0 0 0]));
%! assert (squeeze (c(1, 2, :))', uint8 ([255 0 0]));      % right: red
%! assert (squeeze (c(1, 3, :))', uint8 ([0 255 0]));      % left: green
%! assert (squeeze (c(1, 4, :))', uint8 ([64 64 255]));    % down: pale blue
%! assert (squeeze (c(1, 5, :))', uint8 ([255 255 255]));  % unknown
%! assert (flowToColour (flow, 4), c);
%! % Twice the saturation halves the colour of the same vector (truncated).
%! half = flowToColour (flow, 8);
%! assert (squeeze (half(1, 2, :))', uint8 ([127 0 0]));
%!test
%! % A pixel without a direction repeats the pixel before it in row order, black for the first.
%! flow = cat (3, [NaN 4; 0 NaN], [0 0; 4 0]);
%! c = flowToColour (flow, 4);
%! assert (squeeze (c(1, 1, :))', uint8 ([0 0 0]));
%! assert (squeeze (c(1, 2, :))', uint8 ([255 0 0]));
%! assert (squeeze (c(2, 2, :))', squeeze (c(2, 1, :))');
%!error id=motionseg:flowToColour:value flowToColour (zeros (2, 2, 2), 0)
%!error id=motionseg:flowToColour:size flowToColour (zeros (2, 2, 2), [1 2])
%!error id=motionseg:flowToColour:nargin flowToColour ()
%!demo
%! % Every direction and length up to 20 pixels, and the legend beside it.
%! [x, y] = meshgrid (-20:20);
%! subplot (1, 2, 1); image (flowToColour (cat (3, x, y))); axis image off;
%! title ('flowToColour of (x, y)');
%! subplot (1, 2, 2); image (flowColourWheel (41)); axis image off;
%! title ('flowColourWheel');
