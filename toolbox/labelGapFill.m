% labelGapFill  Gives every unlabelled pixel of a label map the label of a neighbour.
%
%   O = labelGapFill(L)
%
%   Every pixel labelled 0 takes the label of its first labelled neighbour in L, in the
%   order above, below, left, right, above-left, above-right, below-left, below-right.
%   Only L decides which neighbours are labelled, so a filled pixel never passes its new
%   label on. A 0 without a labelled neighbour stays 0, and this is printed (0-based row i
%   and column j, without a line break, in row-by-row order):
%     Warning: point (i,j) could not be filled in - all neighbours are unlabeled
%   At most 100 such warnings are printed; past them one line says how many more there were:
%     Warning: K more points could not be filled in - all neighbours are unlabeled
%
%   Input
%     L  M-by-N uint16 label map; 0 marks an unlabelled pixel.
%
%   Output
%     O  M-by-N uint16: L with its gaps filled.
%
%   Errors
%     "Invalid number of input arguments"     (not exactly one input)
%     "Input matrix must be of type uint16"
%     "Invalid number of output arguments"    (more than one)
%     "Input matrix must be 2-dimensional"
%     "Could not copy the label map (out of memory)."
%
%   Example
%     labelGapFill(uint16([3; 0; 7]))   % returns [3; 3; 7]
%
%   See also trough_points, sign_flip.
