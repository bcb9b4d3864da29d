% crossingRuns  Eight-ray parity votes of a uint8 image, identical to crossingCounts.
%
%   COUNTS = crossingRuns(IMAGE)
%
%   A plug-in of its own that computes exactly what crossingCounts computes: for every pixel,
%   the number of the eight straight rays leaving it along which IMAGE rises (steps to a
%   strictly larger value in the scan direction) an odd number of times. See crossingCounts
%   for the rays and the scan directions. The two functions return equal arrays for every
%   input.
%
%   Inputs
%     IMAGE   M-by-N uint8, at most 32767 rows and 32767 columns.
%
%   Outputs
%     COUNTS  M-by-N uint8, values 0 to 8. An image with no rows or no columns gives an empty
%             result of the same size. Called with no output, COUNTS becomes ans.
%
%   Errors
%     "Invalid number of input arguments"    not exactly one input
%     "Input matrix must be of type uint8"
%     "Invalid number of output arguments"   more than one output
%     "Input matrix must be 2-dimensional"
%     "Input matrix is M-by-N; at most 32767 rows and 32767 columns are supported."
%     "Out of memory."                       the working buffer could not be allocated
%
%   Example
%     I = uint8(rand(50, 60) > 0.9);
%     isequal(crossingRuns(I), crossingCounts(I))   % true
%
%   See also crossingCounts.
