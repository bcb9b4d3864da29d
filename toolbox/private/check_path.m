function check_path(path, name)
% CHECK_PATH  The PATH argument check of readFlo and writeFlo: raises motionseg:NAME:class
%   unless PATH is a character row (a 1-by-N char array, N of at least 1).
  if ~ischar(path) || ndims(path) ~= 2 || size(path, 1) ~= 1
    error(['motionseg:' name ':class'], 'PATH must be a character row.');
  end
end
