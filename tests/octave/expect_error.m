function expect_error(fn, expected)
% EXPECT_ERROR  Calls fn and checks that it raises exactly the error text expected.
  try
    fn();
  catch err
    if ~strcmp(err.message, expected)
      error('expect_error:text', 'wrong error text:\n[%s]\nexpected:\n[%s]', err.message, expected);
    end
    return;
  end
  error('expect_error:none', 'no error raised; expected:\n[%s]', expected);
end
