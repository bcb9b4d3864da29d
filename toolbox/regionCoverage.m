% regionCoverage  Share of the pixels of every superpixel that lie inside a region.
%
%   RATIO = regionCoverage(LABELS, INOUT)
%   [RATIO, SIZE] = regionCoverage(LABELS, INOUT, N)
%
%   For each superpixel of one frame, counts its pixels and those of them that lie inside
%   the region marked by an inside/outside map.
%
%   Inputs
%     LABELS  H-by-W uint16 label map, labels 1 to N.
%     INOUT   2-D logical map, true inside the region; read at the label map's linear
%             indices, so it needs at least H*W elements.
%     N       uint16 scalar, the number of superpixels. Default: the largest label.
%
%   Outputs
%     RATIO   N-by-1 single: (pixels of label L inside the region) / (pixels of label L),
%             0 for a label without pixels. The inside tally is summed in single precision.
%     SIZE    N-by-1 uint32: pixels of label L; returned only when two outputs are requested.
%
%   Errors
%     "Invalid number of input arguments", "Super pixel label map must be of type uint16",
%     "In-Out map must be of type logical", "Number of superpixels must be of type uint16",
%     "Invalid number of output arguments", "Super pixel label map must be 2-dimensional",
%     "In-Out map must be 2-dimensional".
%     Besides them, for input that would be read or written outside its arrays:
%       "Number of superpixels must not be empty."
%       "In-Out map has K elements but the H-by-W label map has M."
%       "Label L at element P of the super pixel label map is outside 1..N."
%
%   Example
%     labels = uint16(kron([1 2; 3 4], ones(2, 3)));
%     inside = false(4, 6); inside(1:2, :) = true;
%     [ratio, sz] = regionCoverage(labels, inside);   % ratio [1; 1; 0; 0], sz 6 each
%
%   See also regionMotionLevel, regionSummary, edgeTrim.
