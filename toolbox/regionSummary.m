% regionSummary  Mean colour, centre of mass and size of every superpixel of a video.
%
%   [COLOUR, CENTRE, SIZE] = regionSummary(FRAMES, LABELS, N)
%
%   Summarises each superpixel over all the frames it occurs in. Labels are numbered across
%   the whole video, so one label may cover pixels of several frames.
%
%   Inputs
%     FRAMES  1-by-F cell array; cell f is the H-by-W-by-3 uint8 colour frame f.
%     LABELS  1-by-F cell array; cell f is the H-by-W uint32 label map of frame f, with
%             labels from 1 to N. A map with H*W elements but another shape is read in
%             column-major order as H-by-W. A frame pair in which either cell is empty is
%             skipped.
%     N       double, the number of superpixels of the video (truncated toward zero).
%
%   Outputs
%     COLOUR  N-by-3 single: mean red, green and blue of each label (0 to 255).
%     CENTRE  N-by-2 single: mean 0-based row and column of each label's pixels.
%     SIZE    N-by-1 uint32: number of pixels of each label over all frames.
%   Labels that occur nowhere give zero rows. Called with no output, only COLOUR is returned.
%   Sums are exact (64-bit integers); each mean is rounded once to single precision.
%
%   Errors
%     Any fault in the number, classes or sizes of the arguments, or one or two requested
%     outputs, reports the usage text ("regionsSummary USAGE: ..."). Besides it:
%       "Label L at element P of the label map of frame F is outside 1..N."
%       "No frame pair holds both a frame and a label map."
%       "Frame F is A-by-B-by-3 but frame G is H-by-W-by-3; all frames must have one size."
%       "Number of superpixels must not be empty."
%       "Number of superpixels must be between 0 and 2147483647."
%
%   Memory
%     Before it allocates anything, the call weighs what it needs (88 bytes per superpixel:
%     the outputs, counted twice since the host copies them on return, and the exact sums)
%     against the memory available now (on Linux MemAvailable, elsewhere the physical
%     memory, within the process's address-space limit), and refuses it with e.g.
%       "regionSummary needs 88.0 GB for 1000000000 superpixels (...); this machine has
%        23.1 GB available."
%     Set MOTIONSEG_MEMORY_LIMIT (e.g. setenv('MOTIONSEG_MEMORY_LIMIT', '8G'), or 512M) for a
%     lower ceiling. The size output counts in 32 bits, so frames holding more than
%     4294967295 pixels together are refused before anything is counted:
%       "regionSummary counts at most 4294967295 pixels in one call (the size output is
%        uint32); these F frames of H-by-W hold P."
%
%   Example
%     frames = {uint8(rand(4, 6, 3) * 255)};
%     labels = {uint32(kron([1 2; 3 4], ones(2, 3)))};
%     [colour, centre, pixels] = regionSummary(frames, labels, 4);   % pixels(k): size of k
%
%   See also regionMotionLevel, regionCoverage, frameNeighbours.
