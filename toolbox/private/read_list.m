function entries = read_list(file)
% read_list  Reads a list of the source tree (plugins.txt, compile_flags.txt).
%   One entry per line: a first field and the fields after it, separated by blanks; '#'
%   starts a comment and blank lines are skipped. Returns a K-by-2 cell array of first fields
%   and cell arrays of the other fields.
  lines = regexp(fileread(file), '\r?\n', 'split');
  entries = cell(0, 2);
  for k = 1:numel(lines)
    fields = regexp(strtrim(regexprep(lines{k}, '#.*$', '')), '\s+', 'split');
    if isempty(fields) || isempty(fields{1})
      continue;
    end
    entries(end + 1, :) = {fields{1}, fields(2:end)}; %#ok<AGROW>
  end
end
