% trackNeighbours  Flow-based links from the superpixels of each frame to those of the next.
%
%   [A, B, W] = trackNeighbours(FLOWS, LABELS, N)
%
%   Moves every pixel of frame f by its integer flow vector. Where it lands inside frame
%   f+1, the pair (its label in frame f, the label at the landing point) gets one vote. Each
%   distinct pair is one edge, weighted by the share of its source superpixel's landed
%   pixels that went to its target. Pixels whose flow leaves the frame take no part. Indices
%   are 0-based: label L is reported as L - 1.
%
%   Inputs
%     FLOWS   1-by-F cell array (F >= 1); cell f is the H-by-W-by-2 int16 flow from frame f
%             to frame f+1 in whole pixels: plane 1 is added to the row, plane 2 to the
%             column.
%     LABELS  1-by-(F+1) cell array; cell f is the H-by-W uint32 label map of frame f, labels
%             1..N numbered across the video. A map with H*W elements but another shape is
%             read in column-major order as H-by-W.
%     N       double, the number of superpixels, truncated toward zero (1 to 4294967296).
%
%   Outputs
%     A       E-by-1 uint32: source index a (frame f).
%     B       E-by-1 uint32: target index b (frame f+1); a target label 0 is index
%             4294967295.
%     W       E-by-1 single: votes of (a, b) divided by the landed pixels of a over all frame
%             steps; the weights leaving one source sum to 1.
%   Rows are sorted by B, then by A. Votes are tallied in single precision. Called with no
%   output, only A is returned.
%
%   Errors
%     Any fault in the number, classes or sizes of the arguments, or one, two or more than
%     three outputs requested, reports a single blank " ". Besides it:
%       "Flow field F is empty."   "Label map F is empty."
%       "Flow field F has K elements, fewer than the H-by-W-by-2 of the frames."
%       "Label map F has K elements but the frames are H-by-W."
%       "Number of superpixels must not be empty."
%       "Number of superpixels must be between 1 and 4294967296."
%       "Label L at element P of the label map of frame F is outside 1..N."
%         (a pixel that lands inside the next frame has a label outside 1..N)
%
%   Memory
%     Working memory follows the pixels and the label pairs present, not the label values.
%     Before the outputs are created, the call weighs what they need (20 bytes per edge,
%     the outputs counted twice since the host copies them on return) against the memory
%     available now (on Linux MemAvailable, elsewhere the physical memory, within the
%     process's address-space limit), and refuses it with "trackNeighbours needs S for E
%     edges (...); this machine has A available." Set MOTIONSEG_MEMORY_LIMIT (e.g.
%     setenv('MOTIONSEG_MEMORY_LIMIT', '8G'), or 512M) for a lower ceiling.
%
%   Example
%     labels = {uint32([1 1 2 2]), uint32([3 3 3 4])};
%     [a, b, w] = trackNeighbours({zeros(1, 4, 2, 'int16')}, labels, 4);
%     % edges (0,2) weight 1, (1,2) weight 0.5, (1,3) weight 0.5
%
%   See also frameNeighbours, regionLinkage, regionMotionLevel.
