function check_toolbox(plugin_list, flow_file)
% CHECK_TOOLBOX  What a user of an installed or set-up toolbox relies on, in a session whose
%   path holds it: every plug-in of PLUGIN_LIST (plugins.txt) loads from a .mex file and
%   refuses a call without arguments with its own identified error, every helper answers,
%   help texts are found, and denseMotion's flow of a generated frame pair is saved to
%   FLOW_FILE, for comparison with another build.
  lines = regexp(fileread(plugin_list), '\r?\n', 'split');
  names = {};
  for k = 1:numel(lines)
    fields = regexp(strtrim(regexprep(lines{k}, '#.*$', '')), '\s+', 'split');
    if ~isempty(fields{1})
      names{end + 1} = fields{1}; %#ok<AGROW>
    end
  end
  assert(numel(names) >= 18, 'plugins.txt lists %d plug-ins', numel(names));
  for k = 1:numel(names)
    [~, ~, extension] = fileparts(which(names{k}));
    assert(strcmp(extension, '.mex'), '%s resolves to %s', names{k}, which(names{k}));
    % A source missing from the build would fail the load with another message.
    try
      feval(names{k});
      error('check:noerror', '%s() raised nothing', names{k});
    catch err
      assert(strcmp(err.identifier, ['motionseg:' names{k} ':nargin']), ...
             '%s(): [%s] %s', names{k}, err.identifier, err.message);
    end
    % The help file sits beside the plug-in, where help finds it.
    text = help(names{k});
    assert(strncmp(strtrim(text), names{k}, numel(names{k})), 'help %s: %s', names{k}, text);
  end
  assert(~isempty(strfind(help('denseMotion'), 'FLOW = denseMotion(IMAGE1, IMAGE2)')));
  % Every function of the toolbox folder has a help text with its name, an example and
  % references; Contents lists every one of them.
  folder = fileparts(which('motionseg_setup'));
  files = dir(fullfile(folder, '*.m'));
  contents = help('Contents');
  for k = 1:numel(files)
    [~, name] = fileparts(files(k).name);
    if strcmp(name, 'Contents')
      continue;
    end
    text = help(name);
    assert(strncmp(strtrim(text), name, numel(name)) && ~isempty(strfind(text, 'Example')) && ...
           ~isempty(strfind(text, 'See also')), 'help %s: %s', name, text);
    assert(~isempty(regexp(contents, ['\n\s*' name '\s+- '], 'once')), 'Contents lacks %s', name);
  end

  % The helpers.
  flow = cat(3, [1 -2; 0.5 3], [0 1; -1 2.5]);
  file = [tempname() '.flo'];
  writeFlo(file, flow);
  assert(isequal(readFlo(file), flow));
  delete(file);
  assert(isequal(size(flowToColour(flow)), [2 2 3]));
  assert(isequal(size(flowColourWheel(11)), [11 11 3]));
  assert(isequal(integerFlow(flow), int16(cat(3, [0 1; -1 3], [1 -2; 1 3]))));
  assert(~isempty(strfind(help('readFlo'), 'readOpticalFlow')));

  % denseMotion on a smooth generated pair: a textured square moving over a still background.
  [x, y] = meshgrid(1:48, 1:40);
  first = 128 + 60 * sin(x / 3) .* cos(y / 4);
  second = first;
  second(11:26, 13:30) = first(9:24, 10:27);
  image1 = cat(3, first, 255 - first, first / 2);
  image2 = cat(3, second, 255 - second, second / 2);
  motion = denseMotion(image1, image2);
  assert(isequal(size(motion), [40 48 2]) && all(isfinite(motion(:))));
  save('-binary', flow_file, 'motion');
end
