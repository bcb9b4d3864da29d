function test_sign_flip()
% sign_flip through the real host: the documented small cases; refusals.
  assert(isequal(sign_flip([0.5 -0.2]), [false true]));
  assert(isequal(sign_flip([0.3 -0.3]), [true false]));
  z = sign_flip([1 -2; -2 -0.5]);
  assert(islogical(z) && isequal(z, logical([1 0; 0 1])));
  expect_error(@() sign_flip(), 'sign_flip: Too few inputs: 0 given, 1 expected (phi).');
  expect_error(@() sign_flip(sparse([1 -1])), ...
    'sign_flip: Input 1 (phi) must be a real double array, not complex or sparse.');
  assert(~isempty(strfind(help('sign_flip'), 'sign_flip')));
end
