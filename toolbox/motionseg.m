function motionseg()
% motionseg  Motion segmentation toolbox: where to start.
%
%   help motionseg     this text
%   motionseg          prints the list of the toolbox's functions (help Contents)
%
%   Compiled functions for segmenting moving objects in video: dense optical flow
%   (denseMotion), .flo files and flow pictures (readFlo, writeFlo, flowToColour,
%   flowColourWheel, integerFlow), superpixel graphs and statistics (frameNeighbours,
%   trackNeighbours, regionLinkage, regionSummary, regionMotionLevel, regionCoverage,
%   paletteMerge, edgeTrim), crossing counts (crossingCounts, crossingRuns), the steps of a
%   level-set superpixel method (surface_partials, surface_slope, front_velocity, sign_flip,
%   trough_points, labelGapFill) and Hamming distances (bitcode_distance).
%
%   `help Contents` lists them all with one line each; `help NAME` describes one (inputs,
%   outputs, errors, an example). motionseg_setup adds the toolbox to the path and builds
%   what is missing; motionseg_demo runs it on a generated video.
%
%   Example
%     motionseg                 % the function list
%     help denseMotion
%
%   See also Contents, motionseg_setup, motionseg_demo, denseMotion.
  help('Contents');
end
