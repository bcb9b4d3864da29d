% paletteMerge  Merges the repeated colours of a weighted colour list.
%
%   [COLOURS, WEIGHTS] = paletteMerge(COLOURS, WEIGHTS)
%
%   Returns every distinct colour of the list once, with the sum of the weights of all its
%   occurrences. The result is sorted by the key red + 256*green + 65536*blue, that is by
%   blue, then green, then red. Sums are formed in single precision in the order of the rows.
%
%   Inputs
%     COLOURS  N-by-3 uint8, one colour (red, green, blue) per row.
%     WEIGHTS  N-by-1 single, the weight of each row (summed unchanged, whatever its sign).
%
%   Outputs
%     COLOURS  E-by-3 uint8, the E distinct colours in ascending key order.
%     WEIGHTS  E-by-1 single, the summed weight of each; returned only when two outputs are
%              requested.
%
%   Errors
%     Any fault in the number or classes of the arguments, in their sizes, or more than two
%     requested outputs reports the usage text ("Error: incorrect function call ...").
%
%   Example
%     [c, w] = paletteMerge(uint8([10 20 30; 0 0 1; 10 20 30]), single([0.5; 1; 0.25]))
%     % c = [10 20 30; 0 0 1], w = [0.75; 1]
%
%   See also regionSummary.
