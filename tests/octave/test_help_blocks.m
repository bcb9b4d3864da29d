function test_help_blocks()
% The %!test and %!error blocks of the toolbox's .m helpers pass through Octave's own test
% runner (`test NAME`), and every such helper has at least one block, so that `test NAME`
% checks something.
  helpers = {'flowColourWheel', 'flowToColour', 'readFlo', 'writeFlo', 'integerFlow'};
  for k = 1:numel(helpers)
    [passed, total] = test(helpers{k}, 'quiet');
    assert(total > 0, 'test %s found no blocks', helpers{k});
    assert(passed == total, 'test %s: %d of %d blocks passed', helpers{k}, passed, total);
  end
end
