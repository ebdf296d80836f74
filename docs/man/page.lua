-- Assembles one manual page from docs/man/tarvel.md; pandoc runs it with
-- -M page=NAME (tarvel4 or tarvel1m).
--
-- A Div whose class names a program is kept on that program's page and
-- dropped from the others. A Div with an include attribute is replaced by
-- that Markdown file (relative to the page's source) less its title: its
-- text before the first section, and each section whose heading names no
-- program or names the page. Literal text is set in bold, as manual pages
-- set what is typed or printed exactly.

local PROGRAMS = { 'tarvel4', 'tarvel1m', 'tarvel1d' }

local function namedPrograms(text)
  local named = {}
  for _, program in ipairs(PROGRAMS) do
    if text:find(program, 1, true) then named[program] = true end
  end
  return named
end

local function sectionFor(heading, page)
  local named = namedPrograms(pandoc.utils.stringify(heading))
  return next(named) == nil or named[page] == true
end

local function included(path, page)
  local file = assert(io.open(path, 'r'))
  local text = file:read('a')
  file:close()
  local blocks, keep = {}, true
  for _, block in ipairs(pandoc.read(text, 'markdown').blocks) do
    if block.t == 'Header' and block.level == 1 then
      keep = true
    else
      if block.t == 'Header' and block.level == 2 then keep = sectionFor(block, page) end
      if keep then table.insert(blocks, block) end
    end
  end
  return blocks
end

local function assemble(doc)
  local page = pandoc.utils.stringify(doc.meta.page or '')
  if namedPrograms(page)[page] == nil then error('page.lua: set -M page= to a program, not "' .. page .. '"') end
  doc.meta.title = page:upper()
  local here = pandoc.path.directory(PANDOC_STATE.input_files[1])
  return doc:walk({
    Div = function(div)
      local path = div.attributes.include
      if path then return included(pandoc.path.join({ here, path }), page) end
      for _, class in ipairs(div.classes) do
        if namedPrograms(class)[class] then
          return class == page and div.content or {}
        end
      end
    end,
  })
end

return {
  { Pandoc = assemble },
  { Code = function(code) return pandoc.Strong(pandoc.Str(code.text)) end },
}
