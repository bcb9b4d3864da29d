% bitcode_distance  Pairwise Hamming distances between two sets of binary codes.
%
%   D = bitcode_distance(A, B)
%
%   Each column of A and of B is one code, one bit per element. D(j, i) is the number of
%   positions at which code j of A and code i of B differ. Elements are compared as their
%   stored bytes.
%
%   Inputs
%     A   M-by-NA full (not sparse) logical, NA codes of M bits.
%     B   M-by-NB full logical, NB codes of the same M bits. Further inputs are ignored.
%
%   Outputs
%     D   NA-by-NB double. Empty when NA or NB is 0; all zeros when M is 0. Called with no
%         output, D becomes ans.
%
%   Errors
%     "Two inputs are required: the code sets A and B."
%     "Code set A must be a full logical matrix."
%     "Code set B must be a full logical matrix."
%     "At most one output can be requested."
%     "Code set A has M rows but code set B has K; both must have the same number of rows."
%     "Code sets must have fewer than 2^31 rows and columns."
%
%   Memory
%     Before it allocates, the call weighs what D needs (8*NA*NB bytes, counted twice since
%     the host copies it on return) against the memory available now (on Linux
%     MemAvailable, elsewhere the physical memory, within the process's address-space
%     limit), and refuses it with e.g.
%       "bitcode_distance needs 25.6 GB for a 40000-by-40000 distance table (twice that
%        while the host copies it); this machine has 23.1 GB available."
%     Set MOTIONSEG_MEMORY_LIMIT (e.g. setenv('MOTIONSEG_MEMORY_LIMIT', '8G'), or 512M) for a
%     lower ceiling.
%
%   Example
%     A = logical([1; 0; 1; 1]);
%     B = logical([1; 1; 0; 1]);
%     D = bitcode_distance(A, B)   % 2
%
%   See also xor, nnz.
