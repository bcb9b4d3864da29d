% crossingCounts  Eight-ray parity votes of a uint8 image (inside/outside votes of a boundary map).
%
%   COUNTS = crossingCounts(IMAGE)
%
%   For every pixel, counts the eight straight rays leaving it (left, right, up, down and the
%   four diagonal directions) along which IMAGE rises an odd number of times. A rise is a step
%   to a strictly larger value in the scan direction of the ray's line: left to right along
%   rows, top to bottom along columns, top-left to bottom-right along diagonals and
%   bottom-left to top-right along anti-diagonals. A ray towards the start of its line counts
%   the rises among the pixels before the pixel, a ray towards the end the rises from the
%   pixel onwards; the step entering the pixel belongs to neither. On a binary boundary map a
%   pixel enclosed by a closed outline scores 8. The cost is a fixed amount per pixel.
%
%   Inputs
%     IMAGE   M-by-N uint8, at most 32767 rows and 32767 columns.
%
%   Outputs
%     COUNTS  M-by-N uint8, values 0 to 8. An image with no rows or no columns gives an empty
%             result of the same size. Called with no output, COUNTS becomes ans.
%
%   Errors
%     "Invalid number of input arguments"    not exactly one input
%     "Input matrix must be of type uint8"
%     "Invalid number of output arguments"   more than one output
%     "Input matrix must be 2-dimensional"
%     "Input matrix is M-by-N; at most 32767 rows and 32767 columns are supported."
%     "Out of memory."                       the working buffer (one byte per pixel) could not
%                                            be allocated
%
%   Example
%     I = zeros(7, 10, 'uint8');
%     I(2, 3:8) = 1; I(6, 3:8) = 1; I(2:6, 3) = 1; I(2:6, 8) = 1;
%     C = crossingCounts(I);   % C(3:5, 4:7) are all 8
%
%   See also crossingRuns, edgeTrim.
