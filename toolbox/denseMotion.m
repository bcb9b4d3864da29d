% denseMotion  Dense optical flow between two colour frames.
%
%   FLOW = denseMotion(IMAGE1, IMAGE2)
%   FLOW = denseMotion(IMAGE1, IMAGE2, SIGMA, ALPHA, BETA, GAMMA)
%
%   Computes the motion of every pixel from IMAGE1 to IMAGE2: orientation-histogram
%   descriptors are matched on a grid of every fourth pixel within +-80 pixels (kept when
%   the match from the second frame back to the first returns to the same place), and a
%   coarse-to-fine variational solver combines colour constancy, gradient constancy, the
%   descriptor matches and robust smoothness. Computation is in single precision.
%
%   Inputs
%     IMAGE1, IMAGE2  M-by-N-by-K double colour frames of the same size, K >= 3 (channels
%                     1 to 3 enter the colour test of the matching; all channels enter the
%                     descriptors and the solver). The parameters are tuned for values of
%                     0 to 255: frames that all lie within 0..1 (im2double) give a far less
%                     accurate flow and the warning motionseg:denseMotion:range; multiply
%                     them by 255. A sparse argument is refused (motionseg:denseMotion:class).
%     SIGMA  presmoothing scale of both frames (default 0.8); 1e-38 to 1e6.
%     ALPHA  smoothness weight (default 30); above 0.
%     BETA   weight of the descriptor matches (default 300); 0 or more.
%     GAMMA  weight of gradient constancy (default 5); 0 or more.
%     Each parameter is the first element of a numeric scalar; omitted trailing parameters
%     take their defaults.
%
%   Output
%     FLOW  M-by-N-by-2 double. FLOW(:, :, 1) is the horizontal motion u (towards larger
%           column index), FLOW(:, :, 2) the vertical motion v (towards larger row index), in
%           pixels: pixel (i, j) of IMAGE1 moves to (i + v, j + u) in IMAGE2.
%
%   The descriptor matching and the solver run on several threads: as many as OMP_NUM_THREADS
%   says when it is set, else one per core. The result does not depend on the thread count.
%
%   Errors
%     "INPUT: (image1, image2, sigma, alpha, beta, gamma) "   fewer than 2 or more than 6 inputs
%     "OUTPUT: optical_flow "                                 not exactly one output
%     "First input must be a 3-dimensional array of noncomplex doubles."
%     "Second input must be a 3-dimensional array of noncomplex doubles."
%     "Input images must have the same size !"
%     "Input images must have at least 3 channels; the colour test reads channels 1 to 3."
%     "Input images are too large: rows x columns x max(channels, 15) must stay below 2^31."
%     "Sigma must be a numeric scalar." (likewise Alpha, Beta, Gamma: empty, cell, ...)
%     "Sigma must be a finite number of at least 1e-38; smaller values leave no image to match."
%     "Sigma must be at most 1e6; larger values smooth the frames into not-a-number images."
%     "Alpha must be a finite number above 0; without smoothness the flow is undetermined."
%     "Beta must be a finite number of 0 or more."  (likewise "Gamma ...")
%     "Out of memory while computing the flow."
%     "The flow holds N of M values that are not finite numbers: ..." with the cause: frames
%       that are not finite or reach far beyond 0..255, or ALPHA, BETA or GAMMA far too large
%   Each error has the identifier motionseg:denseMotion:KIND (KIND nargin, nargout, class,
%   size, value or memory).
%
%   Ctrl-C interrupts the computation in GNU Octave between pyramid levels and grid rows of
%   the matching, back to the prompt with the workspace intact (MATLAB's documented MEX
%   interface offers no way to notice it, so there the call runs to its end).
%
%   Memory
%     The flow takes about 300 bytes per pixel of working memory. Before it allocates, the
%     call weighs that and FLOW (counted twice since the host copies it on return) against
%     the memory available now (on Linux MemAvailable, elsewhere the physical memory, within
%     the process's address-space limit), and refuses it with e.g.
%       "denseMotion needs 24.1 GB for the flow of two 8000-by-8000-by-3 frames (...); this
%        machine has 20.0 GB available."
%     Set MOTIONSEG_MEMORY_LIMIT (e.g. setenv('MOTIONSEG_MEMORY_LIMIT', '8G'), or 512M) for a
%     lower ceiling.
%
%   Example
%     [x, y] = meshgrid(0:79, 0:59);
%     frame = @(dx) repmat(128 + 60 * sin(0.3 * (x - dx) + 0.2 * y), [1 1 3]);
%     flow = denseMotion(frame(0), frame(2));   % about 2 pixels to the right
%     mean(mean(flow(10:50, 10:70, 1)))
%
%   See also regionMotionLevel, trackNeighbours, regionLinkage.
