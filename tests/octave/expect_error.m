function expect_error(fn, expected, id)
% EXPECT_ERROR  Calls fn and checks that it raises exactly the error text expected.
%   EXPECT_ERROR(FN, EXPECTED) also checks the identifier: the text of a plug-in's error starts
%   with its name, "NAME: ", and its identifier is motionseg:NAME:KIND with KIND one word of
%   the toolbox's vocabulary. EXPECT_ERROR(FN, EXPECTED, ID) checks for exactly ID instead.
  kinds = {'nargin', 'nargout', 'class', 'size', 'value', 'memory', 'system', 'internal'};
  try
    fn();
  catch err
    if ~strcmp(err.message, expected)
      error('expect_error:text', 'wrong error text:\n[%s]\nexpected:\n[%s]', err.message, expected);
    end
    if nargin >= 3
      ok = strcmp(err.identifier, id);
    else
      name = regexp(expected, '^(\w+): ', 'tokens', 'once');
      parts = strsplit(err.identifier, ':');
      ok = ~isempty(name) && numel(parts) == 3 && strcmp(parts{1}, 'motionseg') && ...
           strcmp(parts{2}, name{1}) && any(strcmp(parts{3}, kinds));
      id = 'motionseg:NAME:KIND';
    end
    if ~ok
      error('expect_error:id', 'wrong error identifier [%s] for [%s]; expected [%s]', ...
            err.identifier, err.message, id);
    end
    return;
  end
  error('expect_error:none', 'no error raised; expected:\n[%s]', expected);
end
