% Motion segmentation toolbox: compiled functions for segmenting moving objects in video.
% Version 0.3.0 09-Dec-2026
%
% Dense optical flow
%   denseMotion       - Dense optical flow between two colour frames.
%
% Flow files and pictures
%   readFlo           - Reads a flow field from a .flo file.
%   writeFlo          - Writes a flow field to a .flo file.
%   flowToColour      - Colour picture of a flow field (hue: direction, saturation: length).
%   flowColourWheel   - Legend of flowToColour's colour coding.
%   integerFlow       - denseMotion's flow as the int16 steps of the superpixel graph functions.
%
% Superpixel graphs
%   frameNeighbours   - Pairs of superpixels that touch inside a frame, pooled over a video.
%   trackNeighbours   - Flow-based weighted links from each frame's superpixels to the next.
%   regionLinkage     - Pixels the flow carries between the superpixels of two frames.
%
% Superpixel statistics
%   regionSummary     - Mean colour, centre of mass and size of every superpixel of a video.
%   regionMotionLevel - Mean flow length of every superpixel of one frame.
%   regionCoverage    - Share of the pixels of every superpixel that lie inside a region.
%   paletteMerge      - Merges the repeated colours of a weighted colour list.
%   edgeTrim          - Removes the boundary pixels connected to the image border or to a mask.
%
% Crossing-count maps
%   crossingCounts    - Eight-ray parity votes of a uint8 image.
%   crossingRuns      - Eight-ray parity votes of a uint8 image, identical to crossingCounts.
%
% Level-set superpixel steps
%   surface_partials  - First and second partial derivatives of a height function.
%   surface_slope     - Speed times the upwind gradient magnitude of a height function.
%   front_velocity    - Front speed from curvature, base speed and a vector field.
%   sign_flip         - One-pixel-wide map of the zero level set of a field.
%   trough_points     - Position of the smallest value in the window around every pixel.
%   labelGapFill      - Gives every unlabelled pixel of a label map a neighbour's label.
%
% Binary code distances
%   bitcode_distance  - Pairwise Hamming distances between two sets of binary codes.
%
% Setting up
%   motionseg         - Where to start: prints this list.
%   motionseg_setup   - Adds the toolbox to the path and builds its plug-ins if they are missing.
%   compile_toolbox   - Builds the plug-ins with the host's mex command (no CMake needed).
%   motionseg_demo    - Runs the toolbox on a small generated video.
%   motionseg_example - The toolbox's steps on a folder of frames, with a picture of each step.
%
% Errors raised by the plug-ins carry the identifier motionseg:NAME:KIND, KIND one of nargin,
% nargout, class, size, value, memory, system and internal: catch them by identifier, e.g.
%   try, edgeTrim(x), catch err, if strcmp(err.identifier, 'motionseg:edgeTrim:class'), ...
%
% Licence: BSD 2-Clause (COPYING in the package, LICENSE in the source tree). To cite the
% toolbox, see CITATION.cff in the source tree (in GNU Octave: citation motionseg).
