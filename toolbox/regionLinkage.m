% regionLinkage  Pixels the flow carries from each superpixel of a frame onto each of the next.
%
%   K = regionLinkage(FLOW, A, B)
%   K = regionLinkage(FLOW, A, B, N1, N2)
%
%   Moves every pixel of the first frame by its integer flow vector and counts, for each
%   label i of A and j of B, the pixels of label i that land inside the frame on label j.
%   Label 0 marks an unlabelled pixel on either side; it takes no part, and neither does a
%   pixel whose flow leaves the frame.
%
%   Inputs
%     FLOW    H-by-W-by-2 int16 flow in whole pixels: plane 1 is added to the row, plane 2 to
%             the column. Only its first H*W*2 elements are read.
%     A       H-by-W uint16 label map of the first frame, labels 0..N1.
%     B       uint16 label map of the second frame, labels 0..N2, read as H-by-W (its first
%             H*W elements, column-major).
%     N1, N2  double, the numbers of superpixels of the two frames, truncated toward zero
%             (0 to 2147483647). Without them they are the largest labels of A and B.
%
%   Output
%     K       N1-by-N2 uint32: K(i, j) is the number of pixels of label i in A carried onto
%             label j in B. With three inputs and an A without rows, K is 0-by-0.
%
%   Errors
%     "Invalid number of input arguments"        "Invalid number of output arguments"
%     "Flow matrix must be of type int16"        "Flow matrix must be 3-dimensional"
%     "Super pixel label map must be of type uint16"
%     "Super pixel label map must be 2-dimensional"
%     "Number of superpixels must be of type double"
%     Besides these:
%       "Number of superpixels must not be empty."
%       "Number of superpixels must be between 0 and 2147483647."
%       "Flow matrix has K elements, fewer than the H-by-W-by-2 of the label maps."
%       "Second super pixel label map has K elements, fewer than the H-by-W of the first."
%       "Label L at element P of the first super pixel label map exceeds the number of
%        superpixels N1." (and likewise for the second map and N2; only pixels that take
%        part are checked)
%
%   Memory
%     Before it allocates, the call weighs what K needs (4*N1*N2 bytes, counted twice since
%     the host copies it on return) against the memory available now (on Linux
%     MemAvailable, elsewhere the physical memory, within the process's address-space
%     limit), and refuses it with e.g.
%       "regionLinkage needs 34.4 GB for a 65535-by-65535 table (twice that while the host
%        copies it); this machine has 23.1 GB available."
%     Set MOTIONSEG_MEMORY_LIMIT (e.g. setenv('MOTIONSEG_MEMORY_LIMIT', '8G'), or 512M) for a
%     lower ceiling.
%
%   Example
%     A = uint16([1 1; 2 2]);  B = uint16([1 2; 2 2]);
%     K = regionLinkage(zeros(2, 2, 2, 'int16'), A, B)   % [1 1; 0 2]
%
%   See also trackNeighbours, frameNeighbours, regionMotionLevel.
