% Motion segmentation toolbox: compiled functions for segmenting moving objects in video.
%
% Superpixel statistics
%   regionSummary     - Mean colour, centre of mass and size of every superpixel of a video.
%
% Setting up
%   compile_toolbox   - Builds the plug-ins with the host's mex command (no CMake needed).
%   motionseg_demo    - Runs the toolbox on a small generated video.
