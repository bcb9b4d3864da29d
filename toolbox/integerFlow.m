function steps = integerFlow(flow)
% integerFlow  denseMotion's flow as the int16 steps of the superpixel graph functions.
%
%   STEPS = integerFlow(FLOW)
%
%   denseMotion returns the horizontal component first (FLOW(:, :, 1) = u, towards larger
%   column indices); trackNeighbours, regionLinkage and regionMotionLevel take whole-pixel
%   steps with the row step first. This puts the vertical component first and rounds both to
%   the nearest whole pixel, halves away from zero (2.5 -> 3, -2.5 -> -3), as int16 does.
%   Values beyond the int16 range become -32768 or 32767 (their targets then lie outside any
%   frame and are dropped); NaN becomes 0.
%
%   Input
%     FLOW   H-by-W-by-2 real numeric array (u, then v), e.g. from denseMotion or readFlo.
%
%   Output
%     STEPS  H-by-W-by-2 int16: STEPS(:, :, 1) = round(v), added to the row index,
%            STEPS(:, :, 2) = round(u), added to the column index.
%
%   Errors (identifiers)
%     motionseg:integerFlow:nargin  not one input
%     motionseg:integerFlow:class   FLOW not real numeric, sparse, or int16 (already steps:
%                                   a second conversion would swap the planes back)
%     motionseg:integerFlow:size    FLOW not H-by-W-by-2
%
%   Example
%     flow = denseMotion(double(frame1), double(frame2));
%     links = regionLinkage(integerFlow(flow), labels1, labels2);
%
%   See also denseMotion, trackNeighbours, regionLinkage, regionMotionLevel.
  if nargin ~= 1
    error('motionseg:integerFlow:nargin', 'integerFlow takes one input: FLOW.');
  end
  check_flow(flow, 'integerFlow');
  % int16 is what this function returns: a second conversion would swap the planes back.
  if isa(flow, 'int16')
    error('motionseg:integerFlow:class', ...
          'FLOW is int16, the class integerFlow returns; pass the flow of denseMotion or readFlo.');
  end
  % int16() rounds halves away from zero, saturates and maps NaN to 0, in MATLAB and Octave.
  steps = int16(cat(3, double(flow(:, :, 2)), double(flow(:, :, 1))));
end

%!test
%! % Row step first, halves away from zero, saturation at the int16 range, NaN to 0.
%! u = [2.5 -2.5 0.49 1e6];
%! v = [-0.5 1.5 NaN -1e6];
%! steps = integerFlow (cat (3, u, v));
%! assert (class (steps), 'int16');
%! assert (steps(:, :, 1), int16 ([-1 2 0 -32768]));
%! assert (steps(:, :, 2), int16 ([3 -3 0 32767]));
%!test
%! % single flows as readFlo's double ones, and the steps of a zero flow are zero.
%! flow = single (cat (3, magic (4) / 3, -magic (4) / 7));
%! assert (integerFlow (flow), integerFlow (double (flow)));
%! assert (integerFlow (zeros (3, 5, 2)), zeros (3, 5, 2, 'int16'));
%!error id=motionseg:integerFlow:class integerFlow (zeros (2, 2, 2, 'int16'))
%!error id=motionseg:integerFlow:nargin integerFlow ()
%!demo
%! % Row step first, rounded halves away from zero.
%! flow = cat (3, [0.5 -1.5; 2.4 0], [1 0; -0.5 3.6]);
%! steps = integerFlow (flow)
