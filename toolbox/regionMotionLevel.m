% regionMotionLevel  Mean flow length of every superpixel of one frame.
%
%   LEVEL = regionMotionLevel(FLOW, LABELS)
%   LEVEL = regionMotionLevel(FLOW, LABELS, N)
%
%   Averages, over the pixels of each superpixel, the length sqrt(u^2 + v^2) of the integer
%   flow vector at the pixel. Pixels labelled 0 are skipped.
%
%   Inputs
%     FLOW    H-by-W-by-2 int16 flow in whole pixels (plane 1 along rows, plane 2 along
%             columns; the length does not depend on which is which). It is read at the
%             label map's linear indices: elements p and p + H*W for pixel p.
%     LABELS  H-by-W uint16 label map, labels 1 to N, 0 for a pixel to skip.
%     N       double, the number of superpixels (truncated toward zero). Default: the
%             largest label in LABELS.
%
%   Output
%     LEVEL   N-by-1 single: row L holds the mean flow length of label L, 0 for a label
%             without pixels. Lengths are summed in single precision, row by row.
%
%   Errors
%     "Invalid number of input arguments", "Flow matrix must be of type int16",
%     "Super pixel label map must be of type uint16",
%     "Number of superpixels must be of type double", "Invalid number of output arguments",
%     "Flow matrix must be 3-dimensional", "Super pixel label map must be 2-dimensional".
%     Besides them, for input that would be read or written outside its arrays:
%       "Number of superpixels must not be empty."
%       "Number of superpixels must be between 0 and 2147483647."
%       "Flow matrix has K elements but a H-by-W label map needs M (H-by-W-by-2)."
%       "Label L at element P of the super pixel label map is above the number of
%        superpixels N."
%
%   Memory
%     Before it allocates, the call weighs what it needs (4 bytes per row of LEVEL, counted
%     twice since the host copies it on return, and at most 256 kB of counters) against the
%     memory available now (on Linux MemAvailable, elsewhere the physical memory, within the
%     process's address-space limit), and refuses it with e.g.
%       "regionMotionLevel needs 17.2 GB for 2147483647 superpixels (...); this machine has
%        8.00 GB available."
%     Set MOTIONSEG_MEMORY_LIMIT (e.g. setenv('MOTIONSEG_MEMORY_LIMIT', '8G'), or 512M) for a
%     lower ceiling.
%
%   Example
%     labels = uint16(kron([1 2; 3 4], ones(2, 3)));
%     flow = int16(cat(3, 3 * ones(4, 6), 4 * ones(4, 6)));
%     level = regionMotionLevel(flow, labels);   % 5 for every superpixel
%
%   See also regionCoverage, regionSummary, trackNeighbours.
