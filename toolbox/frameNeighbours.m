% frameNeighbours  Pairs of superpixels that touch inside a frame, pooled over a video.
%
%   [A, B] = frameNeighbours(LABELS, N)
%
%   Lists every unordered pair of distinct labels that occur in 8-connected neighbouring
%   pixels (sides and corners) of the same frame, each pair once over all frames. Indices
%   are 0-based: label L is reported as L - 1.
%
%   Inputs
%     LABELS  1-by-F cell array (F >= 1); cell f is the H-by-W uint32 label map of frame f,
%             labels numbered across the video. Every frame is read with the size of the
%             first; a map with H*W elements but another shape is read in column-major order
%             as H-by-W.
%     N       double, the number of superpixels, truncated toward zero (1 to 4294967296). It
%             packs each pair (a, b) into the key b*N + a, so N must exceed every label index
%             for the pairs to decode as given; a label 0 is index 4294967295.
%
%   Outputs
%     A       E-by-1 uint32: the smaller index a of each pair.
%     B       E-by-1 uint32: the larger index b of each pair.
%   Rows are sorted by B, then by A. A frame holding a single label gives no pairs (0-by-1
%   outputs). Called with no output, only A is returned.
%
%   Errors
%     Any fault in the number or classes of the arguments, or one output (or more than two)
%     requested, reports a single blank " ". Besides it:
%       "Label map F has K elements but label map 1 is H-by-W."
%       "Number of superpixels must not be empty."
%       "Number of superpixels must be between 1 and 4294967296."
%
%   Example
%     labels = {uint32([1 1 2; 3 3 2]), uint32([4 4 5; 4 5 5])};
%     [a, b] = frameNeighbours(labels, 5)   % [a b] = [0 1; 0 2; 1 2; 3 4]
%
%   See also trackNeighbours, regionLinkage, regionSummary.
