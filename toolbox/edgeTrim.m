% edgeTrim  Removes the boundary pixels connected to the image border or to a mask.
%
%   CLEANED = edgeTrim(EDGES)
%   CLEANED = edgeTrim(EDGES, MASK)
%
%   Marks every boundary pixel on the outermost rows and columns (and, with a mask, every
%   boundary pixel under the mask), carries the marks along chains of 8-connected boundary
%   pixels, and returns the boundary pixels left unmarked. The marks are carried by four
%   sweeps, each run once: left to right, right to left, top to bottom, bottom to top. A
%   chain that turns back against all of them may therefore keep its far end.
%
%   Inputs
%     EDGES    H-by-W logical boundary map.
%     MASK     2-D logical mask, read at the boundary map's linear indices, so it needs at
%              least H*W elements.
%
%   Output
%     CLEANED  H-by-W logical: true where EDGES is true and the pixel was not marked.
%
%   Errors
%     "Invalid number of input arguments", "Input matrix must be of type logical",
%     "Mask must be of type logical", "Invalid number of output arguments",
%     "Input matrix must be 2-dimensional", "Mask must be 2-dimensional".
%     Besides them, for a mask that would be read beyond its end:
%       "Mask has K elements but the H-by-W input matrix has M."
%
%   Example
%     ring = false(6); ring(2:5, 2:5) = true; ring(3:4, 3:4) = false;
%     edgeTrim(ring)                     % the ring is kept
%     mask = false(6); mask(2, 2) = true;
%     edgeTrim(ring, mask)               % the ring is removed
%
%   See also regionCoverage.
